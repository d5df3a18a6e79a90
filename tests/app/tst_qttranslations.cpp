#include "support/TestMain.h"

#include "app/QtTranslations.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

// Qt's own texts speak French once the translations are in, whatever the system locale.
class TestQtTranslations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QMessageBox(QMessageBox::Question, u"t"_s, u"q"_s, QMessageBox::Yes).button(QMessageBox::Yes)->text(),
                 u"&Yes"_s);
        QVERIFY(QtTranslations::Install());
        QVERIFY(QtTranslations::Install()); // a second call changes nothing
    }

    void messageBoxButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << int(QMessageBox::Yes) << u"&Oui"_s;
        QTest::newRow("no") << int(QMessageBox::No) << u"&Non"_s;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << u"Annuler"_s;
    }
    void messageBoxButtons()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        QMessageBox box(QMessageBox::Question, u"t"_s, u"q"_s, QMessageBox::StandardButtons(button));
        QCOMPARE(box.button(QMessageBox::StandardButton(button))->text(), text);
    }

    void fileDialogButtons()
    {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        auto* buttons = dialog.findChild<QDialogButtonBox*>(u"buttonBox"_s);
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), u"&Ouvrir"_s);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), u"Annuler"_s);
    }

    void lineEditMenu()
    {
        QLineEdit edit(u"abc"_s);
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text().section(u'\t', 0, 0);
        QVERIFY2(texts.contains(u"Cop&ier"_s) && texts.contains(u"Co&ller"_s), qPrintable(texts.join(u'|')));
    }
};

DABRIX_TEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
