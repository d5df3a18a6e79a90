#include "windows/adoLib.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"

namespace adoLib {

namespace {
constexpr int adCriteriaKey = 0;
constexpr int adResyncNone = 0;
constexpr long adCmdTextNoRecords = 129; // adCmdText + adExecuteNoRecords

// Puts the connection's command timeout back, also when the statement fails.
class TimeoutScope {
public:
    TimeoutScope(ado::Connection& cnx, qint16 timeout) : m_cnx(cnx), m_active(timeout >= 0)
    {
        if (m_active) {
            m_saved = cnx.CommandTimeout();
            cnx.SetCommandTimeout(timeout);
        }
    }
    ~TimeoutScope()
    {
        if (m_active)
            m_cnx.SetCommandTimeout(m_saved);
    }
    TimeoutScope(const TimeoutScope&) = delete;
    TimeoutScope& operator=(const TimeoutScope&) = delete;

private:
    ado::Connection& m_cnx;
    bool m_active;
    int m_saved = 0;
};
} // namespace

std::unique_ptr<ado::Recordset> NewRecordset(qint32 cursorLocation)
{
    auto rs = std::make_unique<ado::Recordset>();
    rs->SetCursorLocation(cursorLocation);
    if (cursorLocation == ado::Recordset::adUseClient) {
        rs->SetProperty(QStringLiteral("Update Criteria"), qint32(adCriteriaKey));
        rs->SetProperty(QStringLiteral("Update Resync"), qint32(adResyncNone));
    }
    return rs;
}

qint32 ExecuteSql(QString statement, ado::Connection& cnx, qint16 timeout)
{
    TimeoutScope scope(cnx, timeout);
    return qint32(cnx.Execute(statement, adCmdTextNoRecords));
}

} // namespace adoLib
