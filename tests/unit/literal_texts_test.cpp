// Every text the user reads comes from the language files: the string table or a window's section.
// This test reads the sources under src/ and finds the string literals handed to the places that
// reach the user (the log, the status line, message boxes, widget texts, exceptions), so a new
// English text written straight into the code fails here instead of staying English in Russian.
//
// A literal found is allowed when
//   - it is a widget's text (setText, setToolTip, ...) that lang.ENG gives in a window section:
//     a built-in default that the window's section replaces;
//   - it is listed in literal_texts_allowed.h with the reason it stays literal.
// Literals without two letters in a row ("(%1) %2", "\n") are formats, not texts. An allowed text
// that is no longer found fails too, so the lists only shrink.
#include "literal_texts_allowed.h"

#include <QDir>
#include <QFileInfo>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>

namespace brevio {
namespace {

struct TLiteralText {
    QString File;  // relative to src/
    int Line = 0;
    QString Sink;  // the call it is handed to
    QString Text;  // as written between the quotes; adjacent literals joined
};

// The end of the quoted literal that starts at `open` (the index after its closing quote).
qsizetype QuotedEnd(const QString& s, qsizetype open)
{
    const QChar quote = s.at(open);
    qsizetype i = open + 1;
    while (i < s.size() && s.at(i) != quote)
        i += s.at(i) == u'\\' ? 2 : 1;
    return qMin(i + 1, s.size());
}

// The source with its comments blanked out (line breaks kept, so line numbers stay).
QString WithoutComments(const QString& source)
{
    QString out = source;
    qsizetype i = 0;
    while (i < out.size()) {
        const QChar c = out.at(i);
        if (c == u'"' || c == u'\'') {
            i = QuotedEnd(out, i);
        } else if (out.mid(i, 2) == QLatin1String("//")) {
            while (i < out.size() && out.at(i) != u'\n')
                out[i++] = u' ';
        } else if (out.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = out.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? out.size() : end + 2;
            for (; i < stop; ++i)
                if (out.at(i) != u'\n')
                    out[i] = u' ';
        } else {
            ++i;
        }
    }
    return out;
}

// The calls whose arguments reach the user. Exception classes are every "E" and a capital
// ("EReplyError", "EInvalidNumber") and Exception itself: their message is what the log or a
// message box shows.
const QRegularExpression& Sinks()
{
    static const QRegularExpression sinks(QStringLiteral(
        R"(\b(Log|LogForHost|LogEntry|logFailure|log|Add|SetStatus|SetStatusText|ShowMessage|showMessage|)"
        R"(warning|critical|information|question|setText|setToolTip|setWindowTitle|setPlaceholderText|)"
        R"(setStatusTip|Exception|E[A-Z][A-Za-z0-9]*)\s*\()"));
    return sinks;
}

bool IsWidgetText(const QString& sink)
{
    static const QSet<QString> setters{"setText", "setToolTip", "setWindowTitle", "setPlaceholderText", "setStatusTip"};
    return setters.contains(sink);
}

QList<TLiteralText> LiteralTexts(const QString& file, const QString& source)
{
    static const QRegularExpression twoLetters(QStringLiteral("[A-Za-z]{2}"));
    const QString code = WithoutComments(source);
    QList<TLiteralText> found;
    for (auto calls = Sinks().globalMatch(code); calls.hasNext();) {
        const QRegularExpressionMatch call = calls.next();
        int depth = 1;
        QString text;
        qsizetype textStart = -1;
        const auto flush = [&] {
            if (textStart >= 0 && text.contains(twoLetters)) {
                const int line = int(code.left(textStart).count(u'\n')) + 1;
                found.append({file, line, call.captured(1), text});
            }
            text.clear();
            textStart = -1;
        };
        for (qsizetype i = call.capturedEnd(); i < code.size() && depth > 0;) {
            const QChar c = code.at(i);
            if (c == u'"') {
                const qsizetype end = QuotedEnd(code, i);
                if (textStart < 0)
                    textStart = i;
                text += code.mid(i + 1, end - i - 2);
                i = end;
                continue;
            }
            if (c == u'\'') {
                i = QuotedEnd(code, i);
                continue;
            }
            if (!c.isSpace())
                flush();  // anything but a blank between two literals ends the text
            if (c == u'(')
                ++depth;
            else if (c == u')')
                --depth;
            ++i;
        }
        flush();
    }
    return found;
}

QString SourceRoot()
{
    return QStringLiteral(BREVIO_SOURCE_DIR);
}

// The values of lang.ENG's window sections: the texts a section gives a window's components.
QSet<QString> WindowSectionValues()
{
    QFile file(SourceRoot() + QStringLiteral("/langs/lang.ENG"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QSet<QString> values;
    bool windowSection = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'['))
            windowSection = trimmed.compare(QLatin1String("[Strings]"), Qt::CaseInsensitive) != 0;
        else if (const qsizetype eq = line.indexOf(u'='); windowSection && eq > 0)
            values.insert(line.mid(eq + 1));
    }
    return values;
}

template <class TList>
bool Listed(const TList& list, const TLiteralText& found)
{
    return std::any_of(list.begin(), list.end(), [&](const test::TAllowedText& allowed) {
        return found.File == QLatin1String(allowed.File) && found.Text == QString::fromUtf8(allowed.Text);
    });
}

TEST(LiteralTexts, FindsTheTextsHandedToTheUser)
{
    struct Case {
        const char* name;
        const char* source;
        QStringList texts;  // "sink: text" of each literal found, in order
    };
    const Case cases[] = {
        {"a new log entry", R"(context.Log(QStringLiteral("Some new text"));)", {"Log: Some new text"}},
        {"an argument among others, nested calls",
         R"(LogForHost(context, box.Host, QStringLiteral("Folder %1 gone").arg(Name(x, y)));)",
         {"LogForHost: Folder %1 gone"}},
        {"adjacent literals are one text",
         "throw EReplyError(QStringLiteral(\"Two \"\n  \"lines\"), 1);",
         {"EReplyError: Two lines"}},
        {"two texts in one call",
         R"(QMessageBox::warning(this, QStringLiteral("Title"), tr("Body"));)",
         {"warning: Title", "warning: Body"}},
        {"formats without words", R"(context.Log(QStringLiteral("(%1) %2").arg(a, b));)", {}},
        {"brackets and quotes inside literals",
         R"(label->setText(QStringLiteral("an ) be \" co") + QLatin1Char(')') + QStringLiteral("Tail"));)",
         {"setText: an ) be \\\" co", "setText: Tail"}},
        {"comments are not code", "// context.Log(QStringLiteral(\"Old\"));\n/* SetStatus(\"Older\") */", {}},
        {"other calls are not looked at", R"(value(QStringLiteral("Words here")); MyLog(QStringLiteral("x y"));)", {}},
        {"the text of an exception class",
         R"(EIniWriteError() : Exception(QStringLiteral("Unable to write")) {})",
         {"Exception: Unable to write"}},
    };
    for (const Case& c : cases) {
        QStringList texts;
        for (const TLiteralText& found : LiteralTexts(QStringLiteral("x.cpp"), QString::fromUtf8(c.source)))
            texts << found.Sink + QStringLiteral(": ") + found.Text;
        EXPECT_EQ(texts, c.texts) << c.name;
    }
    const QList<TLiteralText> lines =
        LiteralTexts(QStringLiteral("x.cpp"), QStringLiteral("\n\nLog(\n  \"Third line\");"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.first().Line, 4);
}

TEST(LiteralTexts, EveryTextOfTheSourcesIsTranslatableOrAllowed)
{
    const QString src = SourceRoot() + QStringLiteral("/src");
    ASSERT_TRUE(QDir(src).exists()) << src.toStdString();
    const QSet<QString> sectionValues = WindowSectionValues();
    ASSERT_FALSE(sectionValues.isEmpty());

    QStringList unexpected;
    QSet<QString> used;  // "file|text" of the allow-list entries that were found
    int files = 0;
    for (QDirIterator it(src, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString file = QDir(src).relativeFilePath(path);
        QFile source(path);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << path.toStdString();
        ++files;
        for (const TLiteralText& found : LiteralTexts(file, QString::fromUtf8(source.readAll()))) {
            if (IsWidgetText(found.Sink) && sectionValues.contains(found.Text))
                continue;
            if (Listed(test::kFormDefaults, found) || Listed(test::kInternalTexts, found)
                || Listed(test::kProtocolWords, found)) {
                used.insert(found.File + u'|' + found.Text);
                continue;
            }
            unexpected
                << QStringLiteral("%1:%2: %3(\"%4\")").arg(found.File).arg(found.Line).arg(found.Sink, found.Text);
        }
    }
    EXPECT_GT(files, 100);
    EXPECT_TRUE(unexpected.isEmpty())
        << "Texts the user reads must come from the string table or a window's section; give these a key in "
           "langs/lang.ENG and lang.RUS (or, when rightly literal, list them in literal_texts_allowed.h):\n"
        << unexpected.join(u'\n').toStdString();

    QStringList stale;
    const auto checkUsed = [&](const auto& list) {
        for (const test::TAllowedText& allowed : list)
            if (!used.contains(QLatin1String(allowed.File) + u'|' + QString::fromUtf8(allowed.Text)))
                stale << QStringLiteral("%1: %2").arg(QLatin1String(allowed.File), QString::fromUtf8(allowed.Text));
    };
    checkUsed(test::kFormDefaults);
    checkUsed(test::kInternalTexts);
    checkUsed(test::kProtocolWords);
    EXPECT_TRUE(stale.isEmpty()) << "Allowed texts no longer in the sources; take them off the list:\n"
                                 << stale.join(u'\n').toStdString();
}

}  // namespace
}  // namespace brevio
