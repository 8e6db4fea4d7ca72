// The window of both programs, driven as a person would: keys, clicks and the two file
// dialogs answered by the test. The conversion run behind the button is the real one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/Form1.h"
#include "support/TestSupport.h"

using quill::TForm1;
using quill::TPageStyle;

Q_DECLARE_METATYPE(TPageStyle)

namespace {

// How the test answers one file dialog: a name to type (the dialog completes it), an
// empty name to take what the dialog proposes, or nothing for Cancel. Every dialog shown
// is noted with the name it proposed.
struct TDialogScript {
    std::optional<QString> openAnswer;
    std::optional<QString> saveAnswer;
    std::optional<QString> siteAnswer;  // the folder for dropped documents
    QStringList shown;                  // "open", "save" or "site", in order
    QStringList proposed;               // what each dialog offered before the answer
    QStringList startFolders;           // each dialog's folder when it came up
    QStringList errors;                 // messages the window showed
    QStringList summaries;              // the boxes at the end of a dropped archive
};

void Answer(TForm1& form, TDialogScript& script) {
    form.ExecDialog = [&form, &script](QFileDialog& dialog) {
        const bool isOpen = &dialog == &form.OpenDialog1;
        const bool isSite = &dialog == &form.SiteDialog;
        script.shown << (isSite ? "site" : isOpen ? "open" : "save");
        script.proposed << dialog.selectedFiles().value(0);
        script.startFolders << dialog.directory().absolutePath();
        const std::optional<QString>& answer = isSite   ? script.siteAnswer
                                               : isOpen ? script.openAnswer
                                                        : script.saveAnswer;
        if (!answer) return false;
        if (!answer->isEmpty()) dialog.selectFile(*answer);
        return true;
    };
    form.ShowError = [&script](const QString& message) { script.errors << message; };
    form.ShowSummary = [&script](const QString& message) { script.summaries << message; };
}

// Drops data on the form as a drag would, and lets the window take it; answers whether
// the drop was accepted.
bool Drop(TForm1& form, QMimeData& data) {
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    QCoreApplication::processEvents();
    return enter.isAccepted() && drop.isAccepted();
}

bool DropFiles(TForm1& form, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    return Drop(form, data);
}

// Every file below folder, hidden ones included, by its path below it.
QStringList TreeListing(const QString& folder) {
    QStringList files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.toStdString()))
        if (!entry.is_directory())
            files << QString::fromStdString(
                std::filesystem::relative(entry.path(), folder.toStdString()).string());
    files.sort();
    return files;
}

// Answers the real, modal file dialogs as a person would: types each name in turn into
// the dialog that comes up and presses Enter.
class TDialogTypist : public QObject {
  public:
    explicit TDialogTypist(QStringList names) : names_(std::move(names)) {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(20);
    }
    QStringList seen;  // the object names of the dialogs answered

  private:
    void Poll() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || names_.isEmpty() || !dialog->isVisible()) return;
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!edit) return;
        seen << dialog->objectName();
        edit->setText(names_.takeFirst());
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QStringList names_;
    QTimer timer_;
};

QStringList FolderListing(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QByteArray FileBytes(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QString FromPath(const std::filesystem::path& path) {
    return QFile::decodeName(path.string().c_str());
}

// One character row of the picture store: 8 pixel rows of 32 cells, then 32 attributes.
QByteArray PictureRow(int seed) {
    QByteArray group(288, 0);
    for (int i = 0; i < 256; ++i) group[i] = char((i * 37 + seed * 11) ^ (i >> 3));
    for (int c = 0; c < 32; ++c) group[256 + c] = char((c + seed) * 13);
    return group;
}

// A document with a header, every kind of text byte, a line colour, two distinct
// pictures (one shown twice) and the picture data behind the byte 0.
QByteArray SampleDocument() {
    QByteArray doc(17, 'H');  // header, skipped for a ".$w" name
    doc += "Plain <text> ~ \x7f end\r\n";
    doc +=
        "\x02red\x08 \x05"
        "cyan\x03magenta\r";
    doc += "whole line in yellow\x06\r";
    doc += "\xff\x80picture row 0\r";
    doc += "\xff\x81row 1\r";
    doc += "between\r";
    doc += "\xff\x80\r\xff\x81\r";  // the same picture again: no new file
    doc += "and\r";
    doc += "\xff\x82\r";
    doc += "\x01\x80\xa0\xe0 cp866 bytes\r";
    doc += '\0';
    for (int row = 0; row < 3; ++row) doc += PictureRow(row);
    return doc;
}

bool WriteFile(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Sets the options as a person would, by clicking them.
void SetOptions(TForm1& form, bool bmp, bool pitch42, bool useColors) {
    if (bmp) QTest::mouseClick(&form.RadioButton1, Qt::LeftButton);
    if (pitch42) QTest::mouseClick(&form.CheckBox1, Qt::LeftButton);
    if (useColors) QTest::mouseClick(&form.cbColor, Qt::LeftButton);
}

}  // namespace

class TForm1Test : public QObject {
    Q_OBJECT

  public:
    // Runs before the application object exists. The file dialogs keep their state in
    // the user's configuration, so the tests get a home folder of their own: nothing is
    // written into the real one.
    static void initMain() {
        static quill::test::TempDir home;
        qputenv("HOME", QFile::encodeName(FromPath(home.Path())));
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            qunsetenv(name);
    }

  private:
    std::unique_ptr<TForm1> ShownForm(TPageStyle style = TPageStyle::Quilloc) {
        auto form = std::make_unique<TForm1>(style);
        form->show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(form.get())); }();
        form->activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(form.get())); }();
        return form;
    }

  private slots:
    void windowAsLaidOut_data() {
        QTest::addColumn<TPageStyle>("style");
        QTest::newRow("quilloc") << TPageStyle::Quilloc;
        QTest::newRow("quillo") << TPageStyle::Quillo;
    }

    // Both programs show the same window: geometry, captions, names and start states.
    void windowAsLaidOut() {
        QFETCH(TPageStyle, style);
        auto form = ShownForm(style);
        QCOMPARE(form->windowTitle(), QString("Vornik->HTML convertor"));
        QCOMPARE(form->objectName(), QString("Form1"));
        // The outer size includes the frame, 2 pixels on the offscreen platform.
        QCOMPARE(form->frameGeometry(), QRect(288, 227, 231, 159));
        QCOMPARE(form->geometry(), QRect(290, 229, 227, 155));
        QCOMPARE(form->font().pixelSize(), 11);

        struct Control {
            QAbstractButton* widget;
            const char* name;
            const char* caption;
            QRect geometry;
        };
        const Control controls[] = {
            {&form->Button1, "Button1", "Convert to HTML", {0, 0, 222, 89}},
            {&form->RadioButton1, "RadioButton1", "use BMP pictures", {8, 96, 113, 17}},
            {&form->RadioButton2, "RadioButton2", "use PNG pictures", {8, 112, 113, 17}},
            {&form->CheckBox1, "CheckBox1", "42 pitch", {128, 112, 81, 17}},
            {&form->cbColor, "cbColor", "use colors", {128, 96, 89, 17}},
        };
        for (const Control& c : controls) {
            QCOMPARE(c.widget->objectName(), QString(c.name));
            QCOMPARE(c.widget->text(), QString(c.caption));
            QCOMPARE(c.widget->geometry(), c.geometry);
            QCOMPARE(c.widget->parentWidget(), form.get());
            QVERIFY(c.widget->isVisible());
            QCOMPARE(c.widget->isChecked(), c.widget == &form->RadioButton2);
            QCOMPARE(form->findChild<QAbstractButton*>(c.name), c.widget);
        }
        QVERIFY(form->Button1.isDefault());
        QCOMPARE(QApplication::focusWidget(), &form->Button1);

        const QIcon icon = form->windowIcon();
        QVERIFY(!icon.isNull());
        const QImage image = icon.pixmap(32, 32).toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QSet<QRgb> colours;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() <= 16);
    }

    // Tab goes round the controls in their order; of the two radio buttons only the
    // checked one is a stop.
    void tabOrder() {
        auto form = ShownForm();
        QList<QWidget*> chain;
        QWidget* w = &form->Button1;
        do {
            if (w->parentWidget() == form.get() && w->isVisible()) chain << w;
            w = w->nextInFocusChain();
        } while (w != &form->Button1);
        const QList<QWidget*> declared = {&form->Button1, &form->RadioButton1, &form->RadioButton2,
                                          &form->CheckBox1, &form->cbColor};
        QCOMPARE(chain, declared);

        auto tabStops = [&] {
            QList<QWidget*> stops;
            form->Button1.setFocus();
            for (int i = 0; i < 5; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                stops << QApplication::focusWidget();
            }
            return stops;
        };
        QCOMPARE(tabStops(), QList<QWidget*>({&form->RadioButton2, &form->CheckBox1, &form->cbColor,
                                              &form->Button1, &form->RadioButton2}));
        form->RadioButton1.setChecked(true);
        QCOMPARE(tabStops(), QList<QWidget*>({&form->RadioButton1, &form->CheckBox1, &form->cbColor,
                                              &form->Button1, &form->RadioButton1}));
    }

    void radioButtonsAreOneGroup() {
        auto form = ShownForm();
        QTest::mouseClick(&form->RadioButton1, Qt::LeftButton);
        QVERIFY(form->RadioButton1.isChecked());
        QVERIFY(!form->RadioButton2.isChecked());
        QTest::mouseClick(&form->RadioButton2, Qt::LeftButton);
        QVERIFY(!form->RadioButton1.isChecked());
        QVERIFY(form->RadioButton2.isChecked());
        // The check boxes stand on their own.
        QTest::mouseClick(&form->cbColor, Qt::LeftButton);
        QVERIFY(form->cbColor.isChecked());
        QVERIFY(form->RadioButton2.isChecked());
        QVERIFY(!form->CheckBox1.isChecked());
    }

    void escape_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("closes");
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        QTest::newRow("button") << "Button1" << none << true;
        QTest::newRow("shift on button")
            << "Button1" << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
        QTest::newRow("ctrl+alt on button")
            << "Button1" << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << true;
        QTest::newRow("form itself") << "Form1" << none << true;
        QTest::newRow("42 pitch") << "CheckBox1" << none << false;
        QTest::newRow("use colors") << "cbColor" << none << false;
        QTest::newRow("shift on use colors")
            << "cbColor" << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
        QTest::newRow("BMP") << "RadioButton1" << none << false;
        QTest::newRow("PNG") << "RadioButton2" << none << false;
    }

    void escape() {
        QFETCH(QString, control);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, closes);
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        QWidget* target = control == "Form1" ? form.get() : form->findChild<QWidget*>(control);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape, modifiers);
        QCOMPARE(form->isVisible(), !closes);
        QVERIFY(script.shown.isEmpty());
    }

    void enterStartsRun_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        for (const char* name :
             {"Button1", "RadioButton1", "RadioButton2", "CheckBox1", "cbColor", "Form1"}) {
            QTest::newRow(qPrintable(QString(name) + " Return")) << name << int(Qt::Key_Return);
            QTest::newRow(qPrintable(QString(name) + " Enter")) << name << int(Qt::Key_Enter);
        }
        QTest::newRow("Space on the button") << "Button1" << int(Qt::Key_Space);
    }

    // Enter anywhere starts a run (the button is the default button); the test cancels
    // the open dialog, so the run ends there.
    void enterStartsRun() {
        QFETCH(QString, control);
        QFETCH(int, key);
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        QWidget* target = control == "Form1" ? form.get() : form->findChild<QWidget*>(control);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(script.shown, QStringList({"open"}));
        QVERIFY(form->isVisible());
        QVERIFY(script.errors.isEmpty());
        // Other keys do not start anything.
        QTest::keyClick(target, Qt::Key_A);
        QTest::keyClick(target, Qt::Key_F1);
        QCOMPARE(script.shown.size(), 1);
    }

    // The dialogs' fixed properties; both start in the folder that was current when the
    // window was created, wherever the process has gone since.
    void dialogs() {
        quill::test::TempDir start;
        quill::test::TempDir elsewhere;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QString::fromStdString(start.Path().string())));
        const QString startFolder = QDir::currentPath();
        auto form = ShownForm();
        QVERIFY(QDir::setCurrent(QString::fromStdString(elsewhere.Path().string())));

        QFileDialog& open = form->OpenDialog1;
        QCOMPARE(open.objectName(), QString("OpenDialog1"));
        QCOMPARE(open.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(open.nameFilters(), QStringList({"Vornik v0.58 text files (*)"}));
        QCOMPARE(open.defaultSuffix(), QString("$w!"));
        QVERIFY(open.testOption(QFileDialog::DontUseNativeDialog));
        QFileDialog& save = form->SaveDialog1;
        QCOMPARE(save.objectName(), QString("SaveDialog1"));
        QCOMPARE(save.acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(save.nameFilters(), QStringList({"html (*.htm *.html)"}));
        QCOMPARE(save.defaultSuffix(), QString("htm"));
        QVERIFY(save.testOption(QFileDialog::DontUseNativeDialog));
        // Choosing an existing page asks "already exists. Replace?" first.
        QVERIFY(!save.testOption(QFileDialog::DontConfirmOverwrite));

        TDialogScript script;
        Answer(*form, script);
        script.openAnswer = "notes";  // typed without extension, and there is no such file
        form->Button1.click();
        QCOMPARE(script.shown, QStringList({"open", "save"}));  // the test cancels the save
        QCOMPARE(script.startFolders, QStringList({startFolder, startFolder}));
        // The open dialog proposes "obzor" completed by its default extension, the save
        // dialog the document's base name completed by its own.
        QCOMPARE(script.proposed,
                 QStringList({startFolder + "/obzor.$w!", startFolder + "/notes.htm"}));
        QVERIFY(script.errors.isEmpty());
        QVERIFY(FolderListing(startFolder).isEmpty());
        // The open dialog keeps the name chosen, completed; the next run offers it again.
        QCOMPARE(QString::fromStdString(TForm1::ChosenFile(open)), startFolder + "/notes.$w!");
        script.openAnswer.reset();
        form->Button1.click();
        QCOMPARE(script.proposed.value(2), startFolder + "/notes.$w!");
        // A document whose base name is empty: the save dialog proposes no name at all,
        // not the last one.
        script.openAnswer = startFolder + "/.$w";
        form->Button1.click();
        QCOMPARE(script.shown.size(), 5);
        QCOMPARE(script.proposed.value(4), startFolder);
        QVERIFY(QDir::setCurrent(before));
    }

    void wholeRunAsCommandLine_data() {
        QTest::addColumn<TPageStyle>("style");
        QTest::addColumn<bool>("bmp");
        QTest::addColumn<bool>("pitch42");
        QTest::addColumn<bool>("useColors");
        QTest::newRow("quilloc as started") << TPageStyle::Quilloc << false << false << false;
        QTest::newRow("quilloc all options") << TPageStyle::Quilloc << true << true << true;
        QTest::newRow("quilloc colours, PNG") << TPageStyle::Quilloc << false << false << true;
        QTest::newRow("quilloc BMP only") << TPageStyle::Quilloc << true << false << false;
        QTest::newRow("quilloc 42 pitch only") << TPageStyle::Quilloc << false << true << false;
        QTest::newRow("quillo as started") << TPageStyle::Quillo << false << false << false;
        QTest::newRow("quillo all options") << TPageStyle::Quillo << true << true << true;
    }

    // A whole run through the window writes the same page and picture files as the
    // command-line converter with the same options, beside the page chosen.
    void wholeRunAsCommandLine() {
        QFETCH(TPageStyle, style);
        QFETCH(bool, bmp);
        QFETCH(bool, pitch42);
        QFETCH(bool, useColors);
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        QVERIFY(QDir(root).mkpath("in") && QDir(root).mkpath("form") && QDir(root).mkpath("cli"));
        const QString input = root + "/in/obzor.$w";
        QVERIFY(WriteFile(input, SampleDocument()));

        const QString before = QDir::currentPath();
        const QStringList filesBefore = FolderListing(before);
        auto form = ShownForm(style);
        TDialogScript script;
        Answer(*form, script);
        SetOptions(*form, bmp, pitch42, useColors);
        script.openAnswer = input;
        script.saveAnswer = root + "/form/page";  // typed without extension
        QTest::keyClick(&form->Button1, Qt::Key_Return);
        QCOMPARE(script.shown, QStringList({"open", "save"}));
        QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join("; ")));
        QCOMPARE(QFileInfo(script.proposed.value(1)).fileName(), "obzor.htm");  // base name
        QCOMPARE(QDir::currentPath(), before);

        QStringList args;
        if (useColors) args << "--colors";
        if (pitch42) args << "--pitch42";
        if (bmp) args << "--bmp";
        args << "--style" << (style == TPageStyle::Quillo ? "quillo" : "quilloc");
        args << "-q"
             << "-o" << root + "/cli/page.htm" << input;
        QProcess cli;
        cli.start(VORNIK2HTML, args);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);

        // The page and its picture files, all beside the page; nothing in the current folder.
        const QStringList written = FolderListing(root + "/form");
        // Two distinct pictures (the first one is shown twice), numbered in order.
        const QString ext = bmp ? ".bmp" : ".png";
        QCOMPARE(written, QStringList({"1obzor" + ext, "2obzor" + ext, "page.htm"}));
        QCOMPARE(QImage(root + "/form/1obzor" + ext).size(), QSize(256, 16));
        QCOMPARE(QImage(root + "/form/2obzor" + ext).size(), QSize(256, 8));
        QCOMPARE(FolderListing(root + "/cli"), written);
        for (const QString& name : written)
            QVERIFY2(FileBytes(root + "/form/" + name) == FileBytes(root + "/cli/" + name),
                     qPrintable(name));
        QCOMPARE(FolderListing(before), filesBefore);
        const QByteArray page = FileBytes(root + "/form/page.htm");
        QVERIFY(page.contains(pitch42 ? "font-size:25px" : "font-size:17px"));
        QCOMPARE(page.count("<img src=\"1obzor" + ext.toLatin1() + "\" width=\"640\">"), 2);
        QCOMPARE(page.count("<img src=\"2obzor" + ext.toLatin1() + "\""), 1);
        QVERIFY(form->isVisible());
    }

    // The real dialogs: a typed name gets the default extension, and a name that does
    // not exist is accepted by the open dialog.
    void dropAsCommandLine_data() {
        QTest::addColumn<TPageStyle>("style");
        QTest::addColumn<QString>("drop");  // "one", "several" or "folder"
        QTest::addColumn<bool>("bmp");
        QTest::addColumn<bool>("useColors");
        for (const TPageStyle style : {TPageStyle::Quilloc, TPageStyle::Quillo}) {
            const QString name = style == TPageStyle::Quillo ? "quillo " : "quilloc ";
            QTest::newRow(qPrintable(name + "one")) << style << "one" << false << true;
            QTest::newRow(qPrintable(name + "several")) << style << "several" << true << false;
            QTest::newRow(qPrintable(name + "folder")) << style << "folder" << false << false;
        }
    }

    // Whatever is dropped, the window writes what the command-line converter writes for
    // the same documents: one document through the save dialog, several documents or a
    // folder as a site in the folder chosen, summed up in one box.
    void dropAsCommandLine() {
        QFETCH(TPageStyle, style);
        QFETCH(QString, drop);
        QFETCH(bool, bmp);
        QFETCH(bool, useColors);
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        for (const char* folder : {"in/sub", "form", "cli"}) QVERIFY(QDir(root).mkpath(folder));
        QVERIFY(WriteFile(root + "/in/obzor.$w", SampleDocument()));
        QVERIFY(WriteFile(root + "/in/sub/second.$w", QByteArray(17, 'H') + "second <page>\r"));
        QVERIFY(WriteFile(root + "/in/note.$w", QByteArray(17, 'H') + "\x02note\r"));

        auto form = ShownForm(style);
        TDialogScript script;
        Answer(*form, script);
        SetOptions(*form, bmp, false, useColors);
        script.saveAnswer = root + "/form/obzor.htm";
        script.siteAnswer = root + "/form";
        QStringList dropped, args;
        if (drop == "one") dropped << root + "/in/obzor.$w";
        if (drop == "several") dropped << root + "/in/obzor.$w" << root + "/in/note.$w";
        if (drop == "folder") dropped << root + "/in";
        QVERIFY(DropFiles(*form, dropped));
        if (drop == "one") {
            QTRY_COMPARE(script.shown, QStringList({"save"}));
            QCOMPARE(QFileInfo(script.proposed.value(0)).fileName(), "obzor.htm");
            args << "-o" << root + "/cli/obzor.htm";
        } else {
            QTRY_COMPARE(script.summaries.size(), 1);
            QCOMPARE(script.shown, QStringList({"site"}));
            const int documents = drop == "folder" ? 3 : 2;
            QCOMPARE(script.summaries.first(), QString("%1 documents converted.").arg(documents));
            args << "-d" << root + "/cli";
        }
        QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join("; ")));

        if (useColors) args << "--colors";
        if (bmp) args << "--bmp";
        args << "--style" << (style == TPageStyle::Quillo ? "quillo" : "quilloc") << "-q"
             << dropped;
        QProcess cli;
        cli.start(VORNIK2HTML, args);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList written = TreeListing(root + "/form");
        QVERIFY(written.contains("obzor.htm"));
        QCOMPARE(written.contains("sub/second.htm"), drop == "folder");
        QCOMPARE(TreeListing(root + "/cli"), written);
        for (const QString& name : written)
            QVERIFY2(FileBytes(root + "/form/" + name) == FileBytes(root + "/cli/" + name),
                     qPrintable(name));
    }

    // Started with documents (as a file manager starts the program): one document becomes
    // the page beside it when the save dialog is taken as it comes; several documents or
    // a folder a site. A document that cannot be read is the run's message, no question.
    void startWithDocuments() {
        struct Case {
            TPageStyle style;
            QString paths;  // below the temporary folder, which is the current one
            QString shown;
            QString beside;  // what is written beside the documents
            QString site;
            int errors;
        };
        const QString pages = "1obzor.png 2obzor.png note.htm obzor.htm";
        const Case cases[] = {
            {TPageStyle::Quilloc, "in/obzor.$w", "save", "1obzor.png 2obzor.png obzor.htm", "", 0},
            {TPageStyle::Quillo, "in/note.$w", "save", "note.htm", "", 0},
            {TPageStyle::Quillo, "in", "site", "",
             pages + " .vornik2html/note.rec .vornik2html/obzor.rec index.htm "
                     "sub/.vornik2html/second.rec sub/index.htm sub/second.htm",
             0},
            {TPageStyle::Quilloc, "in/obzor.$w in/note.$w", "site", "", pages, 0},
            {TPageStyle::Quilloc, "in/gone.$w", "", "", "", 1},
        };
        for (const Case& c : cases) {
            quill::test::TempDir dir;
            const QString root = FromPath(dir.Path());
            QVERIFY(QDir(root).mkpath("in/sub") && QDir(root).mkpath("site"));
            QVERIFY(WriteFile(root + "/in/obzor.$w", SampleDocument()));
            QVERIFY(WriteFile(root + "/in/sub/second.$w", QByteArray(17, 'H') + "second\r"));
            QVERIFY(WriteFile(root + "/in/note.$w", QByteArray(17, 'H') + "\x02note\r"));
            const QString before = QDir::currentPath();
            QVERIFY(QDir::setCurrent(root));
            auto form = ShownForm(c.style);
            TDialogScript script;
            Answer(*form, script);
            script.saveAnswer = "";
            script.siteAnswer = root + "/site";
            std::vector<std::string> paths;
            for (const QString& path : c.paths.split(' '))
                paths.push_back(QFile::encodeName(path).toStdString());
            form->OpenDocuments(paths);
            if (c.shown == "site") QTRY_COMPARE(script.summaries.size(), 1);
            QVERIFY(QDir::setCurrent(before));
            QCOMPARE(script.shown.join(' '), c.shown);
            if (c.shown == "save") QCOMPARE(script.startFolders, QStringList({root + "/in"}));
            QCOMPARE(script.errors.size(), c.errors);
            if (c.errors)
                QVERIFY2(script.errors[0].contains("gone.$w"), qPrintable(script.errors[0]));
            QStringList beside = TreeListing(root + "/in");
            beside.removeIf([](const QString& name) { return name.endsWith(".$w"); });
            QCOMPARE(beside.join(' '), c.beside);
            QStringList site = c.site.split(' ', Qt::SkipEmptyParts);
            site.sort();
            QCOMPARE(TreeListing(root + "/site"), site);
            QVERIFY(form->isVisible());
            if (c.shown != "save") continue;
            // The page beside the document is the command line's, byte for byte.
            QProcess cli;
            cli.start(VORNIK2HTML,
                      {"-q", "--style", c.style == TPageStyle::Quillo ? "quillo" : "quilloc", "-d",
                       root + "/site", root + "/" + c.paths});
            QVERIFY(cli.waitForFinished(30000));
            QCOMPARE(TreeListing(root + "/site").join(' '), c.beside);
            for (const QString& name : beside)
                QVERIFY2(FileBytes(root + "/site/" + name) == FileBytes(root + "/in/" + name),
                         qPrintable(name));
        }
    }

    // The window speaks the system's language as the environment names it, without that
    // locale being installed; English otherwise, exactly the texts of the code.
    void systemLanguage() {
        struct Case {
            QStringList environment;
            QString want;  // as form_screenshot prints them, a line each
        };
        const QString english =
            "Vornik->HTML convertor\nConvert to HTML\nuse BMP pictures\nuse PNG pictures\n42 "
            "pitch\nuse colors\nVornik v0.58 text files (*)\nhtml (*.htm *.html)\nFolder for the "
            "web pages\nDo you want to replace it?\n";
        const QString russian =
            "Конвертер Vornik->HTML\nПреобразовать в HTML\nрисунки в BMP\nрисунки в PNG\nшаг "
            "42\nв цвете\nТекстовые файлы Vornik v0.58 (*)\nСтраницы HTML (*.htm "
            "*.html)\nПапка для веб-страниц\nЗаменить его?\n";
        const Case cases[] = {
            {{"LANG=ru_RU.UTF-8"}, russian},
            {{"LANG=C"}, english},
            {{"LANG=en_GB.UTF-8"}, english},
            {{"LANG=C", "LC_ALL=ru_RU.UTF-8"}, russian},
            {{"LANG=ru_RU.UTF-8", "LC_MESSAGES=C"}, english},
        };
        for (const Case& c : cases) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
                environment.remove(name);
            for (const QString& setting : c.environment)
                environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
            QProcess program;
            program.setProcessEnvironment(environment);
            program.start(FORM_SCREENSHOT, {"quilloc"});
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            // Line by line, so that a failure names the text.
            QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()).split('\n'),
                     c.want.split('\n'));
        }
    }

    // Only local files are documents: a web address or text is refused without a word.
    void dropRefusesOtherData() {
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        QMimeData web, text, mixed;
        web.setUrls({QUrl("https://example.org/obzor.$w")});
        text.setText("/tmp/obzor.$w");
        mixed.setUrls({QUrl::fromLocalFile(QDir::tempPath()), QUrl("ftp://example.org/a.$w")});
        for (QMimeData* data : {&web, &text, &mixed}) QVERIFY(!Drop(*form, *data));
        QTest::qWait(50);
        QVERIFY(script.shown.isEmpty());
        QVERIFY(script.errors.isEmpty());
    }

    // Cancelling a site leaves nothing behind: the documents of the folder in progress
    // (pipes that end only after the cancel) remove their temporary files, and no index
    // page is written.
    void dropCancelLeavesNoFile() {
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        QVERIFY(QDir(root).mkpath("in") && QDir(root).mkpath("site"));
        std::vector<int> writers;
        for (const char* name : {"a.$w", "b.$w"}) {
            const QString pipe = root + "/in/" + name;
            QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
            // Read-write, so that opening does not wait: the reader sees no end until closed.
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_RDWR | O_NONBLOCK);
            QVERIFY(fd >= 0);
            writers.push_back(fd);
            const QByteArray doc = SampleDocument();
            QCOMPARE(::write(fd, doc.constData(), size_t(doc.size())), ssize_t(doc.size()));
        }
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        script.siteAnswer = root + "/site";
        QVERIFY(DropFiles(*form, {root + "/in"}));
        QTRY_VERIFY(form->findChild<QProgressDialog*>() != nullptr);
        auto* progress = form->findChild<QProgressDialog*>();
        QTRY_VERIFY(progress->labelText().contains("Now: "));
        QVERIFY(progress->labelText().contains(" of 2 documents done"));
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        for (const int fd : writers) ::close(fd);
        QTRY_COMPARE(script.summaries.size(), 1);
        QVERIFY2(script.summaries.first().startsWith("Cancelled: 0 of 2 documents converted."),
                 qPrintable(script.summaries.first()));
        QCOMPARE(TreeListing(root + "/site"), QStringList());
        QCOMPARE(TreeListing(root + "/in"), QStringList({"a.$w", "b.$w"}));
    }

    void realDialogsTakeTypedNames() {
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        QVERIFY(WriteFile(root + "/doc.$w!", "typed\r"));
        auto form = ShownForm();
        QStringList errors;
        form->ShowError = [&errors](const QString& message) { errors << message; };
        {
            TDialogTypist typist({root + "/doc", root + "/page"});
            form->Button1.click();
            QCOMPARE(typist.seen, QStringList({"OpenDialog1", "SaveDialog1"}));
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join("; ")));
        QVERIFY(FileBytes(root + "/page.htm").contains("typed\r\n"));
        {
            TDialogTypist typist({root + "/nothing.txt", root + "/other.html"});
            form->Button1.click();
            QCOMPARE(typist.seen, QStringList({"OpenDialog1", "SaveDialog1"}));
        }
        QCOMPARE(errors.size(), 1);
        QCOMPARE(QFileInfo(root + "/other.html").size(), 0);
    }

    // Without the test's seam, a failed run shows its message in a critical message box
    // over the window; the window stays.
    void failureShowsMessageBox() {
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        auto form = ShownForm();
        form->ExecDialog = [&](QFileDialog& dialog) {
            dialog.selectFile(root + (&dialog == &form->OpenDialog1 ? "/gone.txt" : "/p.htm"));
            return true;
        };
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        });
        poll.start(20);
        form->Button1.click();
        QCOMPARE(icon, QMessageBox::Critical);
        QVERIFY2(text.contains(root + "/gone.txt"), qPrintable(text));
        QVERIFY(form->isVisible());
    }

    // quillo never reads "use colors": its page is the same either way, dark with spans.
    void quilloIgnoresUseColors() {
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        const QString input = root + "/doc.txt";
        QVERIFY(WriteFile(input, "\x03Hello\rbold?\x02\r"));
        QByteArray pages[2];
        auto form = ShownForm(TPageStyle::Quillo);
        TDialogScript script;
        Answer(*form, script);
        for (int checked = 0; checked < 2; ++checked) {
            form->cbColor.setChecked(checked);
            script.openAnswer = input;
            script.saveAnswer = root + "/page" + QString::number(checked) + ".html";
            form->Button1.click();
            pages[checked] = FileBytes(*script.saveAnswer);
        }
        QVERIFY(script.errors.isEmpty());
        QVERIFY(!pages[0].isEmpty());
        QCOMPARE(pages[0], pages[1]);
        QVERIFY(pages[0].contains("body{background:black}"));
        QVERIFY(pages[0].contains(" <span class=m>Hello</span>\r\n"));
        QVERIFY(!pages[0].contains("<B>") && !pages[0].contains("<I>"));
    }

    void cancelWritesNothing_data() {
        QTest::addColumn<bool>("cancelOpen");
        QTest::newRow("open dialog") << true;
        QTest::newRow("save dialog") << false;
    }

    void cancelWritesNothing() {
        QFETCH(bool, cancelOpen);
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        const QString input = root + "/obzor.$w";
        QVERIFY(WriteFile(input, SampleDocument()));
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        if (!cancelOpen) script.openAnswer = input;
        script.saveAnswer.reset();
        form->Button1.click();
        QCOMPARE(script.shown.size(), cancelOpen ? 1 : 2);
        QCOMPARE(FolderListing(root), QStringList({"obzor.$w"}));
        QCOMPARE(FileBytes(input), SampleDocument());
        QVERIFY(script.errors.isEmpty());
        QVERIFY(form->isVisible());
    }

    // A typed name that does not exist: the page is created first and stays empty, the
    // error names the document, and the window is ready for the next run.
    void missingInputWritesNoPage() {
        quill::test::TempDir dir;
        const QString root = FromPath(dir.Path());
        auto form = ShownForm();
        TDialogScript script;
        Answer(*form, script);
        script.openAnswer = root + "/missing";
        script.saveAnswer = root + "/page.htm";
        form->Button1.click();
        QCOMPARE(FolderListing(root), QStringList());
        QCOMPARE(script.errors.size(), 1);
        QVERIFY2(script.errors[0].contains(root + "/missing.$w!"), qPrintable(script.errors[0]));
        QVERIFY(form->isVisible());

        QVERIFY(WriteFile(root + "/missing.$w!", "now here\r"));
        form->Button1.click();
        QCOMPARE(script.errors.size(), 1);
        QVERIFY(FileBytes(root + "/page.htm").contains("now here\r\n"));
    }

    // Closing the window ends nothing but the window; a second start shows the stored
    // states again, whatever the last one left.
    void everyStartShowsStoredStates() {
        {
            auto form = ShownForm();
            form->RadioButton1.setChecked(true);
            form->CheckBox1.setChecked(true);
            form->cbColor.setChecked(true);
        }
        auto form = ShownForm();
        QVERIFY(form->RadioButton2.isChecked());
        QVERIFY(!form->RadioButton1.isChecked());
        QVERIFY(!form->CheckBox1.isChecked());
        QVERIFY(!form->cbColor.isChecked());
    }
};

QTEST_MAIN(TForm1Test)
#include "form_test.moc"
