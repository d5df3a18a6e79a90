#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// Per-user settings of one company's application, over QSettings (an INI file under
// $XDG_CONFIG_HOME/<company>/<application>.conf). Sections are written with "\" as
// separator ("Forms\Mdi"); they become QSettings groups ("Forms/Mdi").
class SettingsStore {
public:
    // Kinds of value, as the registry numbers them.
    enum Kind { KindDefault = 0, KindText = 1, KindNumber = 4 };

    SettingsStore();
    ~SettingsStore();

    // flag: true opens read-only (nothing is ever written); every caller passes false.
    void Open(const QString& company, const QString& application, bool flag);
    bool SectionExists(const QString& section) const;
    QVariant ReadValue(const QString& section, const QString& key, const QVariant& defaultValue) const;
    void WriteValue(const QString& section, const QString& key, const QVariant& value, int kind);
    // Every (key, value) of the section, keys in column 0; empty when none.
    QList<QPair<QString, QString>> ReadSection(const QString& section) const;

    QString FileName() const;

private:
    QSettings& settings() const;

    std::unique_ptr<QSettings> m_settings;
    bool m_readOnly = false;
};
