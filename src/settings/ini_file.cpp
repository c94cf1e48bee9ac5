#include "settings/ini_file.h"

#include "support/string_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace brevio {

QString DecodeSettingsText(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Older versions wrote Windows-1251; a file edited by hand since may hold both, so each line
    // is read on its own: UTF-8 when it is valid UTF-8, otherwise Windows-1251. Reading the whole
    // file in the old code page would garble its UTF-8 lines, and the next save would write the
    // garbled text back.
    QStringDecoder cp1251("windows-1251");
    text.clear();
    text.reserve(bytes.size());
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArrayView line(bytes.constData() + start, end - start);
        QStringDecoder lineUtf8(QStringDecoder::Utf8);
        const QString decoded = lineUtf8.decode(line);
        if (!lineUtf8.hasError())
            text += decoded;
        else if (cp1251.isValid())
            text += cp1251.decode(line);
        else
            text += QString::fromLatin1(line);
        start = end;
    }
    return text;
}

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString TrimBlanks(const QString& s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

// Line breaks inside a name or value would split the line and could inject keys.
QString OneLine(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\r') {
            out += u' ';
            if (i + 1 < s.size() && s[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u' ';
        } else {
            out += c;
        }
    }
    return out;
}

QLocale FloatLocale()
{
    QLocale locale;  // the default locale: the system's unless the program set another
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

}  // namespace

EIniWriteError::EIniWriteError(const QString& fileName) : Exception(fileName) {}

TveqIniFile::TveqIniFile(QString fileName) : fileName_(std::move(fileName))
{
#ifdef Q_OS_WIN
    eol_ = QStringLiteral("\r\n");
#else
    eol_ = QStringLiteral("\n");
#endif
    QFile file(fileName_);
    QString text;
    if (file.open(QIODevice::ReadOnly)) {
        existed_ = true;
        text = DecodeSettingsText(file.readAll());
        const qsizetype lf = text.indexOf(u'\n');
        if (lf > 0)
            eol_ = text[lf - 1] == u'\r' ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }
    Parse(text);
}

TveqIniFile::~TveqIniFile()
{
    if (dirty_) {
        try {
            Save();
        } catch (...) {
        }
    }
}

QString TveqIniFile::Fold(const QString& name)
{
    return TrimBlanks(name).toCaseFolded();
}

void TveqIniFile::Parse(const QString& text)
{
    sections_.clear();
    sectionIndex_.clear();
    sections_.push_back(Section{});
    if (text.isEmpty())
        return;
    // CR LF, LF and a lone CR (files from old Mac editors) all end a line. A CR that stayed inside
    // a line would end it when the file is read by another program.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineBreak);
    if (lines.last().isEmpty())
        lines.removeLast();  // the break after the last line
    for (const QString& raw : lines) {
        const QString trimmed = TrimBlanks(raw);
        if (trimmed.startsWith(u'[')) {
            Section section;
            section.hasHeader = true;
            section.header = raw;
            const qsizetype close = trimmed.indexOf(u']');
            section.name = Fold(close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1));
            sections_.push_back(std::move(section));
            continue;
        }
        Line line{raw, {}};
        const qsizetype eq = raw.indexOf(u'=');
        if (eq > 0 && !trimmed.startsWith(u';'))
            line.key = Fold(raw.left(eq));
        sections_.back().lines.push_back(std::move(line));
    }
    // The first section of a name is the one that counts.
    sectionIndex_.clear();
    for (int i = 1; i < int(sections_.size()); ++i)
        if (!sectionIndex_.contains(sections_[i].name))
            sectionIndex_.insert(sections_[i].name, i);
    for (Section& s : sections_)
        Reindex(s);
}

void TveqIniFile::Reindex(Section& section)
{
    section.keys.clear();
    for (int i = 0; i < int(section.lines.size()); ++i) {
        const QString& key = section.lines[i].key;
        if (!key.isEmpty() && !section.keys.contains(key))
            section.keys.insert(key, i);
    }
}

const TveqIniFile::Section* TveqIniFile::FindSection(const QString& section) const
{
    const auto it = sectionIndex_.constFind(Fold(section));
    return it == sectionIndex_.cend() ? nullptr : &sections_[*it];
}

TveqIniFile::Section* TveqIniFile::FindSection(const QString& section)
{
    const auto it = sectionIndex_.constFind(Fold(section));
    return it == sectionIndex_.cend() ? nullptr : &sections_[*it];
}

const TveqIniFile::Line* TveqIniFile::FindLine(const QString& section, const QString& key) const
{
    const Section* s = FindSection(section);
    if (!s)
        return nullptr;
    const auto it = s->keys.constFind(Fold(key));
    return it == s->keys.cend() ? nullptr : &s->lines[*it];
}

QString TveqIniFile::DecodeValue(const QString& raw)
{
    QString value = TrimBlanks(raw);
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    if (value.size() > MaxValueLength)
        value.truncate(MaxValueLength);
    return value;
}

QString TveqIniFile::EncodeValue(const QString& value)
{
    QString line = OneLine(value);
    if (DecodeValue(line) == line)
        return line;
    return u'"' + line + u'"';
}

QString TveqIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const Line* line = FindLine(section, key);
    if (!line)
        return defaultValue;
    return DecodeValue(line->text.mid(line->text.indexOf(u'=') + 1));
}

int TveqIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return ParseInt32(ReadString(section, key, QString())).value_or(defaultValue);
}

qint64 TveqIniFile::ReadInt64(const QString& section, const QString& key, qint64 defaultValue) const
{
    return ParseInt64(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TveqIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double TveqIniFile::ReadFloat(const QString& section, const QString& key, double defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    bool ok = false;
    const double value = FloatLocale().toDouble(text, &ok);
    return ok ? value : defaultValue;
}

void TveqIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString keyName = TrimBlanks(OneLine(key));
    const QString lineText = keyName + u'=' + EncodeValue(value);
    Section* s = FindSection(section);
    if (!s) {
        Section fresh;
        fresh.hasHeader = true;
        fresh.name = Fold(OneLine(section));
        fresh.header = u'[' + TrimBlanks(OneLine(section)) + u']';
        sectionIndex_.insert(fresh.name, int(sections_.size()));
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    const QString folded = Fold(keyName);
    const auto it = s->keys.constFind(folded);
    if (it != s->keys.cend()) {
        Line& line = s->lines[*it];
        // Keep the key as the file spells it.
        line.text = line.text.left(line.text.indexOf(u'=')) + u'=' + EncodeValue(value);
    } else {
        // A new key goes after the section's last non-blank line, before blank separator lines.
        int at = int(s->lines.size());
        while (at > 0 && TrimBlanks(s->lines[at - 1].text).isEmpty())
            --at;
        s->lines.insert(s->lines.begin() + at, Line{lineText, folded});
        if (at == int(s->lines.size()) - 1)
            s->keys.insert(folded, at);
        else
            Reindex(*s);
    }
    Changed();
}

void TveqIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TveqIniFile::WriteInt64(const QString& section, const QString& key, qint64 value)
{
    WriteString(section, key, QString::number(value));
}

void TveqIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TveqIniFile::WriteFloat(const QString& section, const QString& key, double value)
{
    WriteString(section, key, FloatLocale().toString(value, 'g', 15));
}

bool TveqIniFile::SectionExists(const QString& section) const
{
    return FindSection(section) != nullptr;
}

bool TveqIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindLine(section, key) != nullptr;
}

QStringList TveqIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const Section* s = FindSection(section))
        for (const Line& line : s->lines)
            if (!line.key.isEmpty())
                keys << TrimBlanks(line.text.left(line.text.indexOf(u'=')));
    return keys;
}

QStringList TveqIniFile::ReadSectionLines(const QString& section) const
{
    QStringList lines;
    if (const Section* s = FindSection(section))
        for (const Line& line : s->lines)
            lines << line.text;
    return lines;
}

QStringList TveqIniFile::Sections() const
{
    QStringList names;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        const QString trimmed = TrimBlanks(sections_[i].header);
        const qsizetype close = trimmed.indexOf(u']');
        names << TrimBlanks(close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1));
    }
    return names;
}

void TveqIniFile::DeleteKey(const QString& section, const QString& key)
{
    Section* s = FindSection(section);
    if (!s)
        return;
    const QString folded = Fold(key);
    const auto before = s->lines.size();
    std::erase_if(s->lines, [&](const Line& line) { return line.key == folded; });
    if (s->lines.size() != before) {
        Reindex(*s);
        Changed();
    }
}

void TveqIniFile::EraseSection(const QString& section)
{
    const QString folded = Fold(section);
    const auto before = sections_.size();
    for (std::size_t i = sections_.size(); i-- > 1;)
        if (sections_[i].name == folded)
            sections_.erase(sections_.begin() + qsizetype(i));
    if (sections_.size() == before)
        return;
    sectionIndex_.clear();
    for (int i = 1; i < int(sections_.size()); ++i)
        if (!sectionIndex_.contains(sections_[i].name))
            sectionIndex_.insert(sections_[i].name, i);
    Changed();
}

void TveqIniFile::BeginUpdate()
{
    ++updateDepth_;
}

void TveqIniFile::EndUpdate()
{
    if (updateDepth_ > 0 && --updateDepth_ == 0 && dirty_)
        Save();
}

void TveqIniFile::Flush()
{
    if (dirty_)
        Save();
}

void TveqIniFile::Changed()
{
    dirty_ = true;
    if (updateDepth_ == 0)
        Save();
}

void TveqIniFile::Save()
{
    QString text;
    for (const Section& s : sections_) {
        if (s.hasHeader)
            text += s.header + eol_;
        for (const Line& line : s.lines)
            text += line.text + eol_;
    }
    const QByteArray bytes = text.toUtf8();

    // The new content goes to a temporary file beside the old one, which it then replaces in one
    // rename: a failure at any point leaves the old file as it was.
    QSaveFile file(fileName_);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw EIniWriteError(fileName_);
    // The file holds passwords: a new one is readable by its owner only, from its first byte on
    // (the temporary file gets the permissions before anything is written to it).
    if (!existed_ && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EIniWriteError(fileName_);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EIniWriteError(fileName_);
    existed_ = true;
    dirty_ = false;
}

}  // namespace brevio
