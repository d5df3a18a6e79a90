#pragma once

#include <QMainWindow>
#include <functional>

class QMdiArea;
class QMdiSubWindow;

// The program's main window: a multi-document frame over the open database.
class MDI : public QMainWindow {
    Q_OBJECT
public:
    explicit MDI(QWidget* parent = nullptr);
    ~MDI() override;

    // The live main window, or nullptr when there is none.
    static MDI* Instance();

    QMdiArea* Area() const { return m_area; }
    static QString Caption();
    // Wraps form in a subwindow of the area; the subwindow's caption follows the form's title.
    QMdiSubWindow* AddChild(QWidget* form);
    // A new child window's home: a subwindow of the live main window, else a top-level
    // window of its own; either way it is deleted when it closes.
    static void Host(QWidget* form);
    // Shows a form, bringing its subwindow (or the form itself when it has none) forward.
    void ShowChild(QWidget* form);
    // Unloads every child window.
    void CloseChildWindows();
    // Deletes the work folder with everything in it, read-only files included.

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void Form_Load();
    void ShowDbTables();
    void ShowSqlCommand();
    void mnu_DbOuvrir_Click();
    void mnu_DbFermer_Click();
    void mnu_AffDbTables_Click();
    void mnu_AffImages_Click();
    void mnu_AffScripts_Click();
    void mnu_AffSqlCmd_Click();
    void mnu_ConnectionString_Click();
    void MenuAction(const std::function<void()>& action);
    template <typename Manager>
    void OpenManager(const QString& tableName);

    QMdiArea* m_area;
};
