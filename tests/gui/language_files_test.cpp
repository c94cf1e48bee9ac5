// The shipped language files against the windows that exist, and a language switched in the
// options reaching the windows made afterwards.
#include <QAbstractButton>
#include <QCheckBox>
#include <QToolButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QStringDecoder>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "components/panel.h"
#include "localization/localizator.h"
#include "settings/ini_file.h"
#include "settings/language_table.h"
#include "settings/options.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"
#include "ui/form_localizer.h"
#include "ui/login_dialog.h"
#include "ui/mailbox_editor.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "window_catalog.h"

namespace brevio {
namespace {

using test::TempFolder;
using test::TWindowSample;
using test::WindowCatalog;

const QStringList kShipped{"ENG", "RUS"};

// The build copies the language files beside the test programs' folder.
QString ShippedFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../langs"));
}

// Every "section/key" of a language file, without regard to case.
QSet<QString> Keys(const TveqIniFile& file)
{
    QSet<QString> keys;
    for (const QString& section : file.Sections())
        for (const QString& line : file.ReadSectionLines(section))
            if (const qsizetype eq = line.indexOf(u'='); eq > 0)
                keys.insert((section + u'/' + line.left(eq).trimmed()).toCaseFolded());
    return keys;
}

TEST(ShippedLanguageFiles, LoadAndCoverTheSameKeys)
{
    QList<QSet<QString>> keys;
    for (const QString& code : kShipped) {
        const QString path = ShippedFolder() + "/lang." + code;
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly)) << path.toStdString();
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(raw.readAll());
        EXPECT_FALSE(utf8.hasError()) << path.toStdString() << " is not UTF-8";

        const TveqIniFile file(path);
        const std::string name = code.toStdString();
        EXPECT_EQ(file.Sections().value(0), "Strings") << name;
        for (int id = 0; id < texts::TextCount; ++id)
            EXPECT_TRUE(file.ValueExists("Strings", TextKey(texts::TTextId(id)).Key))
                << name << " lacks " << TextKey(texts::TTextId(id)).Key;
        for (const QString& key : file.ReadSection("Strings"))
            EXPECT_TRUE(TStringTable::FindKey(key)) << name << " has the unknown text " << key.toStdString();

        TOptions options;
        options.FCurrentLanguage = code;
        const TLocalizator localizator(options, ShippedFolder());
        EXPECT_EQ(options.FCurrentLanguage, code) << "the file of " << name << " was not found";
        EXPECT_FALSE(localizator.Forms.isEmpty()) << name;
        keys.append(Keys(file));
    }
    auto sorted = [](const QSet<QString>& set) {
        QStringList list(set.begin(), set.end());
        list.sort();
        return list;
    };
    for (int i = 1; i < keys.size(); ++i) {
        EXPECT_EQ(sorted(keys[0] - keys[i]), QStringList()) << "only in lang." << kShipped[0].toStdString();
        EXPECT_EQ(sorted(keys[i] - keys[0]), QStringList()) << "only in lang." << kShipped[i].toStdString();
    }
}

TEST(ShippedLanguageFiles, SectionsNameOnlyComponentsThatExist)
{
    for (const QString& code : kShipped) {
        const std::string name = code.toStdString();
        TempFolder templates;
        TOptions options;
        options.FCurrentLanguage = code;
        const TLocalizator localizator(options, ShippedFolder());
        const TWindowLanguage language(localizator, templates.Root());
        QSet<QString> windows;
        for (const TWindowSample& sample : WindowCatalog()) {
            const std::shared_ptr<QWidget> window = sample.Make();
            const QString className = FormClassName(window.get());
            const std::string classText = className.toStdString();
            windows.insert(className.toCaseFolded());
            const TFormLocalization* section = localizator.FindForm(className);
            if (!section) {
                ADD_FAILURE() << name << " has no section for " << classText;
                continue;
            }
            for (const TFormLocalizationItem& item : ApplyFormSection(*section, window.get()))
                ADD_FAILURE() << name << " [" << classText << "] sets nothing in the " << sample.State << ": "
                              << item.ComponentName.toStdString() << "." << item.PropertyName.toStdString() << " #"
                              << item.ItemIndex;
        }
        for (const TFormLocalization& section : localizator.Forms)
            EXPECT_TRUE(windows.contains(section.FormName.toCaseFolded()))
                << name << " has a section for no window: " << section.FormName.toStdString();
        EXPECT_EQ(QDir(templates.Root()).entryList(QDir::Files), QStringList())
            << name << ": windows without a section";
    }
}

const QString kMark = QStringLiteral("\u27EA");

// The English file with every text marked, so a text on screen without the mark has no key.
QByteArray MarkedEnglish()
{
    QFile file(ShippedFolder() + "/lang.ENG");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (QString line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && !line.startsWith(u'[')) {
            QString value = line.mid(eq + 1);
            if (value.startsWith(u'"')) {
                value.insert(1, kMark);
            } else if (line.left(eq).count(u'.') == 2) {  // items or tabs: every one of them
                QStringList items = value.split(u',');
                for (QString& item : items)
                    if (!item.isEmpty())
                        item.prepend(kMark);
                value = items.join(u',');
            } else {
                value.prepend(kMark);
            }
            line = line.left(eq + 1) + value;
        }
        lines << line;
    }
    return lines.join(u'\n').toUtf8();
}

// The texts of `window` a user can see that carry no mark.
QStringList UnmarkedTexts(QWidget* window, const TWindowSample& sample)
{
    QStringList found;
    auto check = [&](const QObject* where, const char* what, const QString& text) {
        if (!text.isEmpty() && !text.contains(kMark))
            found << QStringLiteral("%1 %2: %3").arg(where->objectName(), QLatin1String(what), text);
    };
    auto isData = [&](const QObject* object) {
        for (; object && object != window; object = object->parent())
            if (sample.DataComponents.contains(object->objectName()))
                return true;
        return false;
    };
    if (!sample.TitleIsData)
        check(window, "title", window->windowTitle());
    for (const QObject* object : window->findChildren<QObject*>()) {
        if (isData(object))
            continue;
        if (auto* label = qobject_cast<const QLabel*>(object))
            check(label, "text", label->text());
        if (auto* button = qobject_cast<const QAbstractButton*>(object))
            check(button, "text", button->text());
        if (auto* group = qobject_cast<const QGroupBox*>(object))
            check(group, "title", group->title());
        if (auto* menu = qobject_cast<const QMenu*>(object))
            check(menu, "title", menu->title());
        if (auto* action = qobject_cast<const QAction*>(object); action && action->isVisible()) {
            check(action, "text", action->text());
            check(action, "hint", action->toolTip());
        }
        if (auto* edit = qobject_cast<const QLineEdit*>(object))
            check(edit, "placeholder", edit->placeholderText());
        if (auto* combo = qobject_cast<const QComboBox*>(object))
            for (int i = 0; i < combo->count(); ++i)
                check(combo, "item", combo->itemText(i));
        if (auto* view = qobject_cast<const QTreeView*>(object); view && !view->header()->isHidden())
            for (int i = 0; i < view->model()->columnCount(); ++i)
                check(view, "column", view->model()->headerData(i, Qt::Horizontal).toString());
        if (auto* tabs = qobject_cast<const QTabBar*>(object))
            for (int i = 0; i < tabs->count(); ++i)
                check(tabs, "tab", tabs->tabText(i));
        if (auto* widget = qobject_cast<const QWidget*>(object))
            check(widget, "hint", widget->toolTip());
    }
    return found;
}

TEST(ShippedLanguageFiles, EveryVisibleTextHasAKey)
{
    TempFolder folder;
    folder.Write("langs/lang.ENG", MarkedEnglish());
    TOptions options;
    options.FCurrentLanguage = "ENG";
    const TLocalizator localizator(options, folder.Path("langs"));
    ASSERT_FALSE(localizator.Forms.isEmpty());
    const TWindowLanguage language(localizator, folder.Root());
    for (const TWindowSample& sample : WindowCatalog()) {
        const std::shared_ptr<QWidget> window = sample.Make();
        EXPECT_EQ(UnmarkedTexts(window.get(), sample), QStringList()) << sample.State;
    }
}

// The window program on a settings file of the test's own and the shipped language files.
class LanguageSwitch : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> Window(const QString& langsFolder) const
    {
        TForm1Settings settings;
        settings.SettingsFile = settingsFile_;
        settings.LangsFolder = langsFolder;
        settings.ReportSaveFailures = false;
        return std::make_unique<TForm1>(settings);
    }

    // Runs `command`, which opens a modal dialog of type TDialog, and lets `act` handle it.
    template <typename TDialog>
    static void WithDialog(QAction* command, const std::function<void(TDialog&)>& act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            act(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        command->trigger();
        EXPECT_TRUE(seen);
    }

    TempFolder folder_;
    const test::ScopedEnvironment xdg_{"XDG_CONFIG_HOME", folder_.Path(QStringLiteral("config"))};
    const QString settingsFile_ = folder_.Write("brevio.ini", "[Main]\nFCurrentLanguage=ENG\n");
};

TEST_F(LanguageSwitch, NewWindowsComeUpInTheLanguageChosenInOptions)
{
    auto form = Window(ShippedFolder());
    EXPECT_EQ(form->actCheckMail->text(), "Check New Mail");
    WithDialog<TfrmOptions>(form->actOptions, [](TfrmOptions& options) {
        EXPECT_EQ(options.windowTitle(), "Options");
        options.cbLang->setCurrentIndex(options.cbLang->findData(QStringLiteral("RUS")));
        QTest::mouseClick(options.FooterBtn1, Qt::LeftButton);
    });
    // An open window keeps its texts; windows made from now on speak the new language.
    EXPECT_EQ(form->actCheckMail->text(), "Check New Mail");
    WithDialog<TfrmMailBoxes>(form->actMailBoxList, [](TfrmMailBoxes& editor) {
        EXPECT_EQ(editor.windowTitle(), "Почтовые ящики");
        EXPECT_EQ(editor.chkIgnorCheckAllCommand->text(), "Пропускать при проверке всех ящиков");
        EXPECT_EQ(editor.FooterBtn3->text(), "&Справка");
    });
    TfrmFTPLoginAndPassword prompt;
    prompt.SetHost("mail.example.org");
    EXPECT_EQ(prompt.lblDesc->text(), "Вход на сервер mail.example.org");
    EXPECT_EQ(prompt.size(), prompt.minimumSize());

    form.reset();
    form = Window(ShippedFolder());
    EXPECT_EQ(form->actCheckMail->text(), "Проверить почту");
    EXPECT_EQ(form->findChild<QMenu*>("File1")->title(), "&Файл");
    EXPECT_EQ(form->Mimimize1->text(), "Свернуть");
    // No mailbox yet: the panel says how to add one.
    EXPECT_EQ(form->pnlNoNewMeassages->Text(), "Почтовых ящиков пока нет: Файл, Почтовые ящики… (Ctrl+L)");
    EXPECT_EQ(form->btn5->toolTip(), "Проверить один ящик");
    // Qt's own texts, such as the standard buttons of a message box, speak the language too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
    form.reset();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST_F(LanguageSwitch, WindowWithoutSectionIsWrittenBesideTheSettingsFile)
{
    const TempFolder langs;  // no language file at all
    auto form = Window(langs.Root());
    EXPECT_EQ(form->actCheckMail->text(), "Check New Mail");
    const QByteArray dump = folder_.Read("TForm1.txt");
    EXPECT_TRUE(dump.startsWith("[TForm1]\r\nCaption=")) << dump.left(40).toStdString();
    EXPECT_TRUE(dump.contains("\r\nactCheckMail.Caption=Check New Mail\r\n"));
}

}  // namespace
}  // namespace brevio
