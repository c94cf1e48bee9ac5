// Applying a window's section of a language file: every kind of line, the case rules, and the
// template written for a window without a section.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

#include "components/panel.h"
#include "localization/localizator.h"
#include "settings/options.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"
#include "ui/form_localizer.h"

namespace brevio {
namespace {

// A window with one component of every kind a line can address.
class TfrmSample : public QDialog {
public:
    TfrmSample()
    {
        setObjectName(QStringLiteral("frmSample"));
        setWindowTitle(QStringLiteral("Sample"));
        auto name = [](auto* object, const char* text) {
            object->setObjectName(QLatin1String(text));
            return object;
        };
        lblPath = name(new QLabel(QStringLiteral("Path:"), this), "lblPath");
        actGo = name(new QAction(QStringLiteral("Go"), this), "actGo");
        mnuFile = name(new QMenu(QStringLiteral("File"), this), "mnuFile");
        grpBox = name(new QGroupBox(QStringLiteral("Group"), this), "grpBox");
        chkBox = name(new QCheckBox(QStringLiteral("Tick"), grpBox), "chkBox");
        pnlInfo = name(new TPanel(QStringLiteral("Info"), Qt::AlignCenter, this), "pnlInfo");
        edtName = name(new QLineEdit(this), "edtName");
        ListView1 = name(new QTreeWidget(this), "ListView1");
        ListView1->setHeaderLabels({"A", "B", "C"});
        StatusBar1 = name(new QStatusBar(this), "StatusBar1");
        for (const char* panel : {"one", "two"})
            StatusBar1->addWidget(new QLabel(QLatin1String(panel), StatusBar1));
        cbLang = name(new QComboBox(this), "cbLang");
        cbLang->addItems({"x", "y"});
        tbPages = name(new QTabBar(this), "tbPages");
        tbPages->addTab(QStringLiteral("p"));
        pcMain = name(new QTabWidget(this), "pcMain");
        pcMain->addTab(new QWidget, QStringLiteral("first"));
        pcMain->addTab(new QWidget, QStringLiteral("second"));
    }

    QLabel* lblPath;
    QAction* actGo;
    QMenu* mnuFile;
    QGroupBox* grpBox;
    QCheckBox* chkBox;
    TPanel* pnlInfo;
    QLineEdit* edtName;
    QTreeWidget* ListView1;
    QStatusBar* StatusBar1;
    QComboBox* cbLang;
    QTabBar* tbPages;
    QTabWidget* pcMain;
};

// The texts of `count` items, joined.
QString Joined(int count, const std::function<QString(int)>& text)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << text(i);
    return texts.join(u',');
}

struct TLineCase {
    const char* Line;
    std::function<QString(const TfrmSample&)> Read;  // what the line is meant to change
    QString Expected;                                // read after the line was applied
    bool Applies;                                    // false: the line sets nothing
};

TEST(FormSection, EveryKindOfLineAndTheCaseRules)
{
    using W = const TfrmSample&;
    const auto label = [](W w) { return w.lblPath->text(); };
    const auto headers = [](W w) { return Joined(3, [&](int i) { return w.ListView1->headerItem()->text(i); }); };
    const auto panels = [](W w) {
        const QList<QLabel*> labels = w.StatusBar1->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        return Joined(int(labels.size()), [&](int i) { return labels[i]->text(); });
    };
    const auto items = [](W w) { return Joined(w.cbLang->count(), [&](int i) { return w.cbLang->itemText(i); }); };
    const TLineCase cases[] = {
        // Properties of the window and of its components.
        {"Caption=Version 1.0", [](W w) { return w.windowTitle(); }, "Version 1.0", true},
        {"lblPath.Caption=Path:#13#10(full)", label, "Path:\n(full)", true},
        {"lblPath.Hint=Click here", [](W w) { return w.lblPath->toolTip(); }, "Click here", true},
        {"lblPath.Caption=", label, "", true},  // an empty value is an empty text
        {"actGo.Caption=Run", [](W w) { return w.actGo->text(); }, "Run", true},
        {"actGo.Hint=Runs it", [](W w) { return w.actGo->toolTip() + "|" + w.actGo->statusTip(); }, "Runs it|Runs it",
         true},
        {"mnuFile.Caption=&File", [](W w) { return w.mnuFile->title(); }, "&File", true},
        {"grpBox.Caption=Choices", [](W w) { return w.grpBox->title(); }, "Choices", true},
        {"chkBox.Caption=Tick me", [](W w) { return w.chkBox->text(); }, "Tick me", true},
        {"pnlInfo.Caption=Nothing new", [](W w) { return w.pnlInfo->Text(); }, "Nothing new", true},
        {"edtName.placeholderText=your name", [](W w) { return w.edtName->placeholderText(); }, "your name", true},
        // Columns, panels, items and tabs.
        {"ListView1.Columns.[1].Caption=Size", headers, "A,Size,C", true},
        {"StatusBar1.Panels.[1].Text=second", panels, "one,second", true},
        {"cbLang.Items.Text=a,,b,", items, "a,,b", true},
        {"tbPages.Tabs.Text=One,Two",
         [](W w) { return Joined(w.tbPages->count(), [&](int i) { return w.tbPages->tabText(i); }); }, "One,Two", true},
        {"pcMain.Tabs.Text=Main", [](W w) { return w.pcMain->tabText(0) + "," + w.pcMain->tabText(1); }, "Main,second",
         true},
        // Lines that set nothing.
        {"ListView1.Columns.[3].Caption=Beyond", headers, "A,B,C", false},
        {"ListView1.Columns.0.Caption=No", headers, "A,B,C", false},
        {"StatusBar1.Panels.[2].Text=third", panels, "one,two", false},
        {"lblPath.Columns.[0].Caption=x", label, "Path:", false},
        {"lblPath.Items.Text=x", label, "Path:", false},
        {"edtName.Caption=typed", [](W w) { return w.edtName->text(); }, "", false},
        {"lblMissing.Caption=x", label, "Path:", false},
        {"lblPath.objectName=renamed", [](W w) { return w.lblPath->objectName(); }, "lblPath", false},
        {"lblPath", label, "Path:", false},
        // Component names in any case; property names and collection words exactly.
        {"LBLPATH.Caption=Any case", label, "Any case", true},
        {"CBLANG.Items.Text=c", items, "c", true},
        {"lblPath.caption=lower", label, "Path:", false},
        {"lblPath.HINT=upper", [](W w) { return w.lblPath->toolTip(); }, "", false},
        {"edtName.PlaceholderText=x", [](W w) { return w.edtName->placeholderText(); }, "", false},
        {"listview1.columns.[0].Caption=x", headers, "A,B,C", false},
        {"caption=lower", [](W w) { return w.windowTitle(); }, "Sample", false},
    };
    for (const TLineCase& c : cases) {
        TfrmSample window;
        const TFormLocalization section(QStringLiteral("TfrmSample"), {QString::fromUtf8(c.Line)});
        const QList<TFormLocalizationItem> skipped = ApplyFormSection(section, &window);
        EXPECT_EQ(c.Read(window), c.Expected) << c.Line;
        EXPECT_EQ(skipped.isEmpty(), c.Applies) << c.Line;
    }
}

TEST(FormSection, SectionNameInAnyCase)
{
    // The section is found whatever the case of its name; only the first of two counts.
    test::TempFolder folder;
    folder.Write("langs/lang.ENG", "[Strings]\n[TFRMSAMPLE]\nCaption=Found\n[TfrmSample]\nCaption=Second\n");
    TOptions options;
    options.FCurrentLanguage = "ENG";
    const TLocalizator localizator(options, folder.Path("langs"));
    TfrmSample window;
    LocalizeForm(&window, localizator, folder.Root());
    EXPECT_EQ(window.windowTitle(), "Found");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("TfrmSample.txt")));
}

TEST(FormSection, WindowWithoutSectionIsWrittenAsTemplate)
{
    test::TempFolder folder;
    TOptions options;
    const TLocalizator localizator(options, folder.Path("langs"));  // no language file at all
    QDialog window;
    window.setObjectName("frmDump");
    window.setWindowTitle("Dump");
    (new QLabel("two\nlines", &window))->setObjectName("lblTwo");
    (new QLabel(&window))->setObjectName("lblEmpty");
    (new QLineEdit("typed", &window))->setObjectName("edtText");
    (new QPushButton("&OK", &window))->setObjectName("btnOK");
    new QLabel("unnamed", &window);

    LocalizeForm(&window, localizator, {});  // no folder: nothing written
    EXPECT_TRUE(QDir(folder.Root()).entryList(QDir::Files).isEmpty());

    const TWindowLanguage language(localizator, folder.Root());
    LocalizeForm(&window);
    EXPECT_EQ(folder.Read("TfrmDump.txt"),
              "[TfrmDump]\r\nCaption=Dump\r\nlblTwo.Caption=two#13#10lines\r\nbtnOK.Caption=&OK\r\n");
}

}  // namespace
}  // namespace brevio
