#include "ui/form_localizer.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaProperty>
#include <QSaveFile>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

#include "components/panel.h"
#include "localization/form_localization.h"
#include "localization/localizator.h"
#include "support/string_utils.h"

namespace brevio {

namespace {

TWindowLanguage* currentLanguage = nullptr;

// Language files write a line break as CR LF ("#13#10"); Qt's widgets break lines at LF.
QString WidgetText(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return value;
}

// Where an object keeps what the language files call its caption.
enum class TCaptionPlace { None, WindowTitle, ActionText, MenuTitle, GroupTitle, Text };

TCaptionPlace CaptionPlace(const QObject* object)
{
    if (qobject_cast<const QAction*>(object))
        return TCaptionPlace::ActionText;
    if (qobject_cast<const QMenu*>(object))
        return TCaptionPlace::MenuTitle;
    if (qobject_cast<const QGroupBox*>(object))
        return TCaptionPlace::GroupTitle;
    if (qobject_cast<const QLabel*>(object) || qobject_cast<const QAbstractButton*>(object)
        || qobject_cast<const TPanel*>(object))
        return TCaptionPlace::Text;
    if (auto* widget = qobject_cast<const QWidget*>(object); widget && widget->isWindow())
        return TCaptionPlace::WindowTitle;
    return TCaptionPlace::None;
}

bool SetCaption(QObject* target, const QString& text)
{
    switch (CaptionPlace(target)) {
    case TCaptionPlace::None:
        return false;
    case TCaptionPlace::WindowTitle:
        static_cast<QWidget*>(target)->setWindowTitle(text);
        return true;
    case TCaptionPlace::ActionText:
        static_cast<QAction*>(target)->setText(text);
        return true;
    case TCaptionPlace::MenuTitle:
        static_cast<QMenu*>(target)->setTitle(text);
        return true;
    case TCaptionPlace::GroupTitle:
        static_cast<QGroupBox*>(target)->setTitle(text);
        return true;
    case TCaptionPlace::Text:
        if (auto* panel = qobject_cast<TPanel*>(target))
            panel->SetText(text);
        else if (auto* label = qobject_cast<QLabel*>(target))
            label->setText(text);
        else
            static_cast<QAbstractButton*>(target)->setText(text);
        return true;
    }
    return false;
}

bool SetHint(QObject* target, const QString& text)
{
    if (auto* action = qobject_cast<QAction*>(target)) {
        action->setToolTip(text);
        action->setStatusTip(text);
        return true;
    }
    if (auto* widget = qobject_cast<QWidget*>(target)) {
        widget->setToolTip(text);
        return true;
    }
    return false;
}

bool SetQtProperty(QObject* target, const QString& name, const QString& text)
{
    // Renaming a component would lose it for every later line and for the code that finds it.
    if (name == QLatin1String("objectName"))
        return false;
    const QMetaObject* meta = target->metaObject();
    const int index = meta->indexOfProperty(name.toUtf8().constData());
    if (index < 0)
        return false;
    const QMetaProperty property = meta->property(index);
    if (property.metaType().id() != QMetaType::QString || !property.isWritable())
        return false;
    return property.write(target, text);
}

bool SetColumnCaption(QObject* target, int index, const QString& text)
{
    auto* view = qobject_cast<QAbstractItemView*>(target);
    QAbstractItemModel* model = view ? view->model() : nullptr;
    if (!model || index < 0 || index >= model->columnCount())
        return false;
    return model->setHeaderData(index, Qt::Horizontal, text);
}

bool SetPanelText(QObject* target, int index, const QString& text)
{
    // A status bar's panels are the labels placed on it, in the order they were made.
    auto* bar = qobject_cast<QStatusBar*>(target);
    if (!bar)
        return false;
    const QList<QLabel*> panels = bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    if (index < 0 || index >= panels.size())
        return false;
    panels[index]->setText(text);
    return true;
}

bool SetComboItems(QObject* target, const QStringList& items)
{
    auto* combo = qobject_cast<QComboBox*>(target);
    if (!combo)
        return false;
    // The same choice stays selected where the new list still has it.
    const int current = combo->currentIndex();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(current < items.size() ? current : -1);
    return true;
}

bool SetTabs(QObject* target, const QStringList& tabs)
{
    if (auto* bar = qobject_cast<QTabBar*>(target)) {
        while (bar->count() > 0)
            bar->removeTab(bar->count() - 1);
        for (const QString& tab : tabs)
            bar->addTab(tab);
        return true;
    }
    // A tab widget's tabs are its pages: they are named in order, never added or removed.
    if (auto* pages = qobject_cast<QTabWidget*>(target)) {
        for (int i = 0; i < pages->count() && i < tabs.size(); ++i)
            pages->setTabText(i, tabs[i]);
        return true;
    }
    return false;
}

bool ApplyItem(const TFormLocalizationItem& item, QObject* target)
{
    const QString text = WidgetText(item.Value);
    switch (item.Kind) {
    case TFormLocalizationItem::Property:
        return SetStringProperty(target, item.PropertyName, item.Value);
    case TFormLocalizationItem::ListViewColumn:
        return SetColumnCaption(target, item.ItemIndex, text);
    case TFormLocalizationItem::StatusPanel:
        return SetPanelText(target, item.ItemIndex, text);
    case TFormLocalizationItem::ComboItems:
        return SetComboItems(target, Split(text, QStringLiteral(",")));
    case TFormLocalizationItem::Tabs:
        return SetTabs(target, Split(text, QStringLiteral(",")));
    }
    return false;
}

}  // namespace

QString FormClassName(const QWidget* window)
{
    return QLatin1Char('T') + window->objectName();
}

QObject* FindComponent(QWidget* window, const QString& name)
{
    if (!window || name.isEmpty())
        return nullptr;
    const QList<QObject*> components = window->findChildren<QObject*>();
    for (QObject* component : components)
        if (component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component;
    return nullptr;
}

bool SetStringProperty(QObject* target, const QString& name, const QString& value)
{
    if (!target)
        return false;
    const QString text = WidgetText(value);
    if (name == QLatin1String("Caption"))
        return SetCaption(target, text);
    if (name == QLatin1String("Hint"))
        return SetHint(target, text);
    return SetQtProperty(target, name, text);
}

std::optional<QString> ComponentCaption(const QObject* component)
{
    switch (CaptionPlace(component)) {
    case TCaptionPlace::None:
        return std::nullopt;
    case TCaptionPlace::WindowTitle:
        return static_cast<const QWidget*>(component)->windowTitle();
    case TCaptionPlace::ActionText:
        return static_cast<const QAction*>(component)->text();
    case TCaptionPlace::MenuTitle:
        return static_cast<const QMenu*>(component)->title();
    case TCaptionPlace::GroupTitle:
        return static_cast<const QGroupBox*>(component)->title();
    case TCaptionPlace::Text:
        if (auto* panel = qobject_cast<const TPanel*>(component))
            return panel->Text();
        if (auto* label = qobject_cast<const QLabel*>(component))
            return label->text();
        return static_cast<const QAbstractButton*>(component)->text();
    }
    return std::nullopt;
}

QList<TFormLocalizationItem> ApplyFormSection(const TFormLocalization& form, QWidget* window)
{
    QList<TFormLocalizationItem> skipped;
    for (const TFormLocalizationItem& item : form.Items) {
        QObject* target = item.ComponentName.isEmpty() ? window : FindComponent(window, item.ComponentName);
        if (!item.IsEffective() || !target || !ApplyItem(item, target))
            skipped.append(item);
    }
    return skipped;
}

void DumpFormCaptions(QWidget* window, const QString& folder)
{
    if (folder.isEmpty())
        return;
    const QString className = FormClassName(window);
    QStringList lines{QStringLiteral("[%1]").arg(className), QStringLiteral("Caption=") + window->windowTitle()};
    const QList<QObject*> components = window->findChildren<QObject*>();
    for (const QObject* component : components) {
        const QString name = component->objectName();
        // Qt's own helpers (the line edit inside a spin box) are no components of the window.
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        QString caption = ComponentCaption(component).value_or(QString());
        if (caption.isEmpty())
            continue;
        caption.replace(QLatin1String("\r\n"), QLatin1String("#13#10"));
        caption.replace(QLatin1Char('\n'), QLatin1String("#13#10"));
        lines.append(name + QStringLiteral(".Caption=") + caption);
    }
    QSaveFile file(QDir(folder).filePath(className + QStringLiteral(".txt")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const QString& line : lines)
        file.write(line.toUtf8() + "\r\n");
    file.commit();
}

void LocalizeForm(QWidget* window, const TLocalizator& localizator, const QString& templateFolder)
{
    if (const TFormLocalization* form = localizator.FindForm(FormClassName(window)))
        ApplyFormSection(*form, window);
    else
        DumpFormCaptions(window, templateFolder);
}

TWindowLanguage::TWindowLanguage(const TLocalizator& localizator, QString templateFolder)
    : localizator_(localizator), templateFolder_(std::move(templateFolder)), previous_(currentLanguage)
{
    currentLanguage = this;
}

TWindowLanguage::~TWindowLanguage()
{
    // Languages normally go in the reverse order of their making; one that goes early is only
    // taken out of the chain.
    if (currentLanguage == this) {
        currentLanguage = previous_;
        return;
    }
    for (TWindowLanguage* later = currentLanguage; later; later = later->previous_)
        if (later->previous_ == this) {
            later->previous_ = previous_;
            return;
        }
}

const TWindowLanguage* TWindowLanguage::Current()
{
    return currentLanguage;
}

void LocalizeForm(QWidget* window)
{
    if (const TWindowLanguage* language = TWindowLanguage::Current())
        LocalizeForm(window, language->Localizator(), language->TemplateFolder());
}

}  // namespace brevio
