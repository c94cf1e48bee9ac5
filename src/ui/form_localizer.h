#pragma once
// Gives windows the texts of the current language. A window's section of the language file is
// found by the window's class name, "T" followed by its object name (TForm1, TfrmOptions), and
// its lines are applied to the components named there. Every window calls LocalizeForm(this) as
// soon as its controls exist, before it composes texts of its own from what the section set.
//
// What a line's property name means for a Qt object:
//   Caption  the window's title; the text of a label, button or panel; the title of a group box
//            or menu; the text of an action
//   Hint     the tool tip (and, for an action, the status-bar tip)
//   other    the Qt string property of exactly that name ("placeholderText", or a window's own
//            message texts declared as properties)
// Property names are matched with case ("caption" sets nothing); component and section names
// without regard to case.

#include <QList>
#include <QString>
#include <optional>

class QObject;
class QWidget;

namespace brevio {

class TLocalizator;
struct TFormLocalization;
struct TFormLocalizationItem;

// The class name whose section applies to `window`.
QString FormClassName(const QWidget* window);

// The component of `window` named `name` (any of its descendants, names compared without regard
// to case, the first in creation order); null when there is none.
QObject* FindComponent(QWidget* window, const QString& name);

// Sets the text property `name` of `target` as described above. False when the target has no
// string property of that name, so nothing was set.
bool SetStringProperty(QObject* target, const QString& name, const QString& value);

// What a template lists as the component's caption; nothing for a component without one.
std::optional<QString> ComponentCaption(const QObject* component);

// Applies the section's lines to `window` in order and returns the lines that set nothing: a
// component that is not there, a property it lacks, a column or panel beyond the last, or a
// component of another kind than the line needs.
QList<TFormLocalizationItem> ApplyFormSection(const TFormLocalization& form, QWidget* window);

// Writes a template of the window's captions, from which a translator can start, to the file
// "<class name>.txt" in `folder`, replacing it. Failures are ignored.
void DumpFormCaptions(QWidget* window, const QString& folder);

// Applies the section of `window`'s class from `localizator`; a window without a section is
// written out as a template into `templateFolder` (nowhere when it is empty).
void LocalizeForm(QWidget* window, const TLocalizator& localizator, const QString& templateFolder);

// The language windows are created in. While one exists, LocalizeForm(window) uses it; the one
// made last is in force, and the one before comes back when it goes.
class TWindowLanguage {
public:
    TWindowLanguage(const TLocalizator& localizator, QString templateFolder);
    ~TWindowLanguage();
    TWindowLanguage(const TWindowLanguage&) = delete;
    TWindowLanguage& operator=(const TWindowLanguage&) = delete;

    // The language in force; null when there is none.
    static const TWindowLanguage* Current();

    const TLocalizator& Localizator() const { return localizator_; }
    const QString& TemplateFolder() const { return templateFolder_; }

private:
    const TLocalizator& localizator_;
    QString templateFolder_;
    TWindowLanguage* previous_;
};

// Localizes `window` in the language in force; without one the window keeps its built-in texts.
void LocalizeForm(QWidget* window);

}  // namespace brevio
