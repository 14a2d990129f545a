// The template catalogue: what the folder lists, and loading an entry.

#include "core/templates.h"
#include "ui/editor.h"
#include "ui/form1.h"
#include "ui/statusline.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TemplatesTest : public QObject, public WindowFixture {
    Q_OBJECT

    QString tpl(const QString &name) const { return tree->places().templateFolder() + "/" + name; }
    QList<QAction *> entries() {
        QList<QAction *> out;
        for (QAction *a : window->findChild<QMenu *>("new")->actions())
            out << a;
        return out;
    }
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void folderListsVisibleTxtFilesByName() {
        for (const char *name : {"c.txt", "a.txt", "B.TXT", ".hidden.txt", "notes.md", "x.txt.bak",
                                 "a&b.txt", "empty.Txt"})
            QVERIFY(writeBytes(tpl(name), name));
        QDir().mkpath(tpl("folder.txt"));
        const QList<TemplateEntry> list = listTemplates(tree->places().templateFolder());
        QStringList captions, files;
        for (const TemplateEntry &e : list) {
            captions << e.caption;
            files << QFileInfo(QFile::decodeName(e.nativePath)).fileName();
        }
        QCOMPARE(captions, (QStringList{"a", "a&b", "B", "c", "empty"}));
        QCOMPARE(files, (QStringList{"a.txt", "a&b.txt", "B.TXT", "c.txt", "empty.Txt"}));
        QVERIFY(listTemplates(tree->path("no such folder")).isEmpty());
    }

    void eachEntryLoadsItsOwnFileAsAnUntitledDocument() {
        QVERIFY(writeBytes(tpl("a.txt"), "text of a\r\n"));
        QVERIFY(writeBytes(tpl("b.txt"), "text of b"));
        QVERIFY(writeBytes(tpl("Hello.TXT"), "hello \x80"));
        QVERIFY(writeBytes(tpl("a&b.txt"), "ampersand"));
        QVERIFY(writeBytes(tpl("empty.txt"), ""));
        window = std::make_unique<Form1>(tree->services());
        QStringList captions;
        for (QAction *a : entries()) {
            captions << a->text();
            QCOMPARE(a->objectName(), QStringLiteral("newdoc"));
        }
        QCOMPARE(captions, (QStringList{"a", "a&b", "b", "empty", "Hello"}));
        const QList<QByteArray> expected = {"text of a\r\n", "ampersand", "text of b", "",
                                            "hello \xE2\x82\xAC"};
        QVERIFY(writeBytes(tree->path("Source/current.z80"), "current"));
        for (int i = 0; i < entries().size(); ++i) {
            QVERIFY(window->openFile(tree->path("Source/current.z80")));
            entries()[i]->trigger();
            QCOMPARE(text(), expected[i]);
            QVERIFY(window->currentFile().untitled());
            QVERIFY(!window->Text1->isModified());
        }
        // Untitled now: Save asks for a name.
        tree->picker.answers = {std::nullopt};
        window->save_Click();
        QCOMPARE(tree->picker.calls.size(), 1);
        QVERIFY(tree->picker.calls[0].save);
    }

    // No menu item is ever disabled: the one entry names the folder and
    // starts an empty document, asking about unsaved text first.
    void noTemplatesGiveOneEntryNamingTheFolderThatStartsAnEmptyDocument() {
        window = std::make_unique<Form1>(tree->services());
        QCOMPARE(entries().size(), 1);
        QVERIFY(entries()[0]->isEnabled());
        QCOMPARE(entries()[0]->text(),
                 "Empty document (no templates in " + tree->places().templateFolder() + ")");
        QVERIFY(writeBytes(tree->path("Source/mine.z80"), "mine"));
        QVERIFY(window->openFile(tree->path("Source/mine.z80")));
        window->Text1->setText("edited");
        tree->messages.answers = {MessageBox::Answer::Cancel};
        entries()[0]->trigger();
        QCOMPARE(text(), QByteArray("edited"));
        tree->messages.answers = {MessageBox::Answer::Discard};
        entries()[0]->trigger();
        QCOMPARE(text(), QByteArray());
        QVERIFY(window->currentFile().untitled());
        QVERIFY(window->statusLine()->said().contains(tree->places().templateFolder()));
        QCOMPARE(tree->messages.shown.size(), 2); // the two questions
    }

    void deletedTemplateIsReportedAndTheDocumentStays() {
        QVERIFY(writeBytes(tpl("gone.txt"), "x"));
        window = std::make_unique<Form1>(tree->services());
        QVERIFY(writeBytes(tree->path("Source/mine.z80"), "mine"));
        QVERIFY(window->openFile(tree->path("Source/mine.z80")));
        QFile::remove(tpl("gone.txt"));
        entries()[0]->trigger();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(tpl("gone.txt")));
        QCOMPARE(text(), QByteArray("mine"));
        QCOMPARE(window->currentFile().path(), tree->path("Source/mine.z80"));
    }

    void modifiedTextIsAskedAboutFirst() {
        QVERIFY(writeBytes(tpl("t.txt"), "template"));
        window = std::make_unique<Form1>(tree->services());
        window->Text1->setText("unsaved");
        tree->messages.answers = {MessageBox::Answer::Cancel};
        entries()[0]->trigger();
        QCOMPARE(text(), QByteArray("unsaved"));
        tree->messages.answers = {MessageBox::Answer::Discard};
        entries()[0]->trigger();
        QCOMPARE(text(), QByteArray("template"));
    }
};

QTEST_MAIN(TemplatesTest)
#include "ui_templates_test.moc"
