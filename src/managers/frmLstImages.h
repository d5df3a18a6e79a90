#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>

class DataGrid;
class FieldBinding;
class PictureBox;
class QLabel;
class QPushButton;
class QStatusBar;
namespace ado {
class Recordset;
}

// A child window over the table of pictures: the grid lists its rows, the picture box shows
// the current row's picture, and "Charge Image" loads a picture file into the current row.
class frmLstImages : public QWidget {
    Q_OBJECT
public:
    explicit frmLstImages(QWidget* parent = nullptr);
    ~frmLstImages() override;

    void Init(const QString& TblName);
    // Re-reads the rows; called by name for every window tagged "DataWin".
    Q_INVOKABLE void RefreshData();

    ado::Recordset* Recordset() const { return m_Rs.get(); }
    QString StatusText() const;
    // A picture is being written into the current row.
    bool IsWriting() const { return m_writing; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadData(const QString& tableName);
    void FormatColumns();
    void ShowCurrentRecord();
    void SetStatus(const QString& text);
    void m_Rs_FetchComplete(ado::Recordset* pRecordset);
    bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Grd_HeadClick(int column);
    void cmdAddImage_Click();
    void WritePicture(const QString& path);
    void CloseWindow();
    // Runs a modal box; a close asked for meanwhile waits until the box has returned.
    void RunModal(const std::function<void()>& show);
    void CloseIfDeferred();
    void ReportOperatorFailure(std::exception_ptr failure);

    DataGrid* Grd;
    QPushButton* cmdAddImage;
    PictureBox* Picture1;
    QStatusBar* sb;
    QLabel* sbPanel1;
    FieldBinding* m_picture;

    std::unique_ptr<ado::Recordset> m_Rs;
    qint16 m_sortColumn = 0;
    bool m_ascending = false;
    bool m_placed = false;
    bool m_unloaded = false;
    // While a picture is written, events run between its pieces: what they ask for that
    // would touch the row waits for the end of the write, or stops it.
    bool m_writing = false;
    bool m_stopWriting = false;
    bool m_refreshAfterWrite = false;
    bool m_closeDeferred = false;
    int m_modals = 0;
};
