#include "support/version_info.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace brevio {

namespace {

constexpr quint16 kBinaryValue = 0;
constexpr quint16 kTextValue = 1;
constexpr qsizetype kHeaderSize = 6;  // length, value length, type: three 16-bit words
constexpr qsizetype kFixedInfoSize = 52;

qsizetype Align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

quint16 Word(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

// One node of the block, with offsets into the block.
struct TNode {
    QString Key;
    quint16 Type = 0;
    qsizetype ValueAt = 0;
    qsizetype ValueSize = 0;  // bytes
    qsizetype ChildrenAt = 0;
    qsizetype End = 0;
};

// The node at `at`, which must end by `limit`; none when it does not fit or has no key.
std::optional<TNode> ReadNode(const QByteArray& data, qsizetype at, qsizetype limit)
{
    if (at < 0 || at + kHeaderSize > limit)
        return std::nullopt;
    const qsizetype length = Word(data, at);
    if (length < kHeaderSize || at + length > limit)
        return std::nullopt;
    TNode node;
    node.End = at + length;
    node.Type = Word(data, at + 4);
    qsizetype p = at + kHeaderSize;
    for (;; p += 2) {
        if (p + 2 > node.End)
            return std::nullopt;  // the key has no terminator inside the node
        const quint16 unit = Word(data, p);
        if (unit == 0)
            break;
        node.Key += QChar(unit);
    }
    node.ValueAt = std::min(Align4(p + 2), node.End);
    const qsizetype valueLength = Word(data, at + 2);
    // A text value's length counts 16-bit characters, a binary one's bytes.
    node.ValueSize = std::min(node.Type == kTextValue ? valueLength * 2 : valueLength, node.End - node.ValueAt);
    node.ChildrenAt = std::min(Align4(node.ValueAt + node.ValueSize), node.End);
    return node;
}

std::optional<TNode> ReadRoot(const QByteArray& block)
{
    std::optional<TNode> root = ReadNode(block, 0, block.size());
    if (!root || root->Key != QLatin1String("VS_VERSION_INFO") || root->ValueSize < kFixedInfoSize
        || qFromLittleEndian<quint32>(block.constData() + root->ValueAt) != TFixedFileInfo::kSignature)
        return std::nullopt;
    return root;
}

std::optional<TNode> FindChild(const QByteArray& block, const TNode& parent, const QString& key)
{
    for (qsizetype at = parent.ChildrenAt; at < parent.End;) {
        std::optional<TNode> child = ReadNode(block, at, parent.End);
        if (!child)
            return std::nullopt;
        if (child->Key.compare(key, Qt::CaseInsensitive) == 0)
            return child;
        at = Align4(child->End);
    }
    return std::nullopt;
}

// Writing: a node with its value and children, its length filled in at the end.
QByteArray Utf16z(const QString& text)
{
    QByteArray out;
    for (QChar c : text) {
        char unit[2];
        qToLittleEndian<quint16>(c.unicode(), unit);
        out.append(unit, 2);
    }
    return out.append(2, '\0');
}

void PadTo4(QByteArray& out)
{
    while (out.size() % 4)
        out.append('\0');
}

QByteArray MakeNode(const QString& key, quint16 type, const QByteArray& value, quint16 valueLength,
                    const QList<QByteArray>& children = {})
{
    QByteArray out(kHeaderSize, '\0');
    out += Utf16z(key);
    PadTo4(out);
    out += value;
    for (const QByteArray& child : children) {
        PadTo4(out);
        out += child;
    }
    qToLittleEndian<quint16>(quint16(out.size()), out.data());
    qToLittleEndian<quint16>(valueLength, out.data() + 2);
    qToLittleEndian<quint16>(type, out.data() + 4);
    return out;
}

QString TranslationText(quint32 translation)
{
    return QStringLiteral("%1%2")
        .arg(translation & 0xFFFF, 4, 16, QLatin1Char('0'))
        .arg(translation >> 16, 4, 16, QLatin1Char('0'));
}

}  // namespace

TFixedFileInfo FixedInfoForVersion(const QString& version)
{
    quint32 parts[4] = {0, 0, 0, 0};
    const QStringList numbers = version.split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < numbers.size(); ++i)
        parts[i] = numbers[i].toUInt() & 0xFFFF;
    TFixedFileInfo fixed;
    fixed.Signature = TFixedFileInfo::kSignature;
    fixed.StrucVersion = 0x00010000;
    fixed.FileVersionMS = fixed.ProductVersionMS = parts[0] << 16 | parts[1];
    fixed.FileVersionLS = fixed.ProductVersionLS = parts[2] << 16 | parts[3];
    fixed.FileFlagsMask = 0x3F;
    fixed.FileOS = 0x00040004;  // 32-bit Windows NT, the value version tools expect
    fixed.FileType = 1;         // an application
    return fixed;
}

QByteArray WriteVersionBlock(const TVersionBlockContents& contents)
{
    const TFixedFileInfo& f = contents.Fixed;
    const quint32 words[] = {f.Signature,        f.StrucVersion,  f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS,
                             f.ProductVersionLS, f.FileFlagsMask, f.FileFlags,     f.FileOS,        f.FileType,
                             f.FileSubtype,      f.FileDateMS,    f.FileDateLS};
    QByteArray fixed;
    for (quint32 word : words) {
        char bytes[4];
        qToLittleEndian<quint32>(word, bytes);
        fixed.append(bytes, 4);
    }
    QList<QByteArray> children;
    if (!contents.Translations.isEmpty()) {
        QList<QByteArray> strings;
        for (const auto& [name, value] : contents.Strings)
            strings.append(MakeNode(name, kTextValue, Utf16z(value), quint16(value.size() + 1)));
        const QByteArray table =
            MakeNode(TranslationText(contents.Translations.first()).toUpper(), kTextValue, {}, 0, strings);
        children.append(MakeNode(QStringLiteral("StringFileInfo"), kTextValue, {}, 0, {table}));
        QByteArray translations;
        for (quint32 translation : contents.Translations) {
            char bytes[4];
            qToLittleEndian<quint32>(translation, bytes);
            translations.append(bytes, 4);
        }
        const QByteArray var =
            MakeNode(QStringLiteral("Translation"), kBinaryValue, translations, quint16(translations.size()));
        children.append(MakeNode(QStringLiteral("VarFileInfo"), kTextValue, {}, 0, {var}));
    }
    return MakeNode(QStringLiteral("VS_VERSION_INFO"), kBinaryValue, fixed, quint16(kFixedInfoSize), children);
}

std::optional<QByteArray> QueryVersionValue(const QByteArray& block, const QString& path)
{
    std::optional<TNode> node = ReadRoot(block);
    for (const QString& key : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (!node)
            break;
        node = FindChild(block, *node, key);
    }
    if (!node)
        return std::nullopt;
    return block.mid(node->ValueAt, node->ValueSize);
}

qsizetype FindVersionBlock(const QByteArray& data)
{
    // The root's key, which follows the root's three header words.
    const QByteArray key = Utf16z(QStringLiteral("VS_VERSION_INFO"));
    for (qsizetype at = data.indexOf(key); at >= 0; at = data.indexOf(key, at + 1)) {
        const qsizetype start = at - kHeaderSize;
        if (start < 0)
            continue;
        const qsizetype length = Word(data, start);
        if (start + length <= data.size() && ReadRoot(data.mid(start, length)))
            return start;
    }
    return -1;
}

const QStringList& TVersionInfoReader::StandardNames()
{
    static const QStringList names = {
        QStringLiteral("Comments"),        QStringLiteral("CompanyName"),      QStringLiteral("FileDescription"),
        QStringLiteral("FileVersion"),     QStringLiteral("InternalName"),     QStringLiteral("LegalCopyright"),
        QStringLiteral("LegalTrademarks"), QStringLiteral("OriginalFileName"), QStringLiteral("PrivateBuild"),
        QStringLiteral("ProductName"),     QStringLiteral("ProductVersion"),   QStringLiteral("SpecialBuild")};
    return names;
}

TVersionInfoReader::TVersionInfoReader(const QString& fileName)
{
    SetFileName(fileName);
}

void TVersionInfoReader::Reset()
{
    haveInfo_ = false;
    block_.clear();
    fixed_ = TFixedFileInfo();
    translations_.clear();
    currentTranslation_ = -1;
}

void TVersionInfoReader::SetFileName(const QString& fileName)
{
    fileName_ = fileName.isEmpty() ? RunningExecutablePath() : fileName;
    Reset();
#ifdef Q_OS_WIN
    const std::wstring path = fileName_.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    QByteArray data(qsizetype(size), '\0');
    if (size > 0 && GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        ReadBlock(data);
#else
    // The running program's own block is also one of its resources: read from there, the whole
    // executable need not be searched at every start.
    QFile embedded(QStringLiteral(":/version/VS_VERSION_INFO"));
    if (fileName.isEmpty() && embedded.open(QIODevice::ReadOnly)) {
        ReadBlock(embedded.readAll());
        return;
    }
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The whole file is searched: mapped where the system allows, read otherwise.
    const qint64 size = file.size();
    QByteArray data;
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr)
        data = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(size));
    else
        data = file.readAll();
    const qsizetype start = FindVersionBlock(data);
    if (start >= 0)
        ReadBlock(QByteArray(data.constData() + start, Word(data, start)));
#endif
}

void TVersionInfoReader::ReadBlock(const QByteArray& block)
{
    Reset();
    const std::optional<QByteArray> fixed = QueryVersionValue(block, QStringLiteral("\\"));
    if (!fixed)
        return;
    haveInfo_ = true;
    block_ = block;
    quint32* fields[] = {&fixed_.Signature,     &fixed_.StrucVersion,     &fixed_.FileVersionMS,
                         &fixed_.FileVersionLS, &fixed_.ProductVersionMS, &fixed_.ProductVersionLS,
                         &fixed_.FileFlagsMask, &fixed_.FileFlags,        &fixed_.FileOS,
                         &fixed_.FileType,      &fixed_.FileSubtype,      &fixed_.FileDateMS,
                         &fixed_.FileDateLS};
    for (qsizetype i = 0; i < 13; ++i)
        *fields[i] = qFromLittleEndian<quint32>(fixed->constData() + 4 * i);
    const QByteArray table =
        QueryVersionValue(block, QStringLiteral("\\VarFileInfo\\Translation")).value_or(QByteArray());
    for (qsizetype at = 0; at + 4 <= table.size(); at += 4)
        translations_.append(qFromLittleEndian<quint32>(table.constData() + at));
    currentTranslation_ = translations_.isEmpty() ? -1 : 0;
}

void TVersionInfoReader::SetCurrentTranslation(int index)
{
    currentTranslation_ = index >= 0 && index < translations_.size() ? index : -1;
}

QString TVersionInfoReader::StringValue(const QString& name) const
{
    if (!haveInfo_ || currentTranslation_ < 0)
        return {};
    const QString path =
        QStringLiteral("\\StringFileInfo\\%1\\%2").arg(TranslationText(translations_.at(currentTranslation_)), name);
    const std::optional<QByteArray> value = QueryVersionValue(block_, path);
    if (!value)
        return {};
    QString text;
    for (qsizetype at = 0; at + 2 <= value->size(); at += 2) {
        const quint16 unit = Word(*value, at);
        if (unit == 0)
            break;
        text += QChar(unit);
    }
    return text;
}

QString TVersionInfoReader::StringValue(int index) const
{
    return index >= 0 && index < StandardNames().size() ? StringValue(StandardNames().at(index)) : QString();
}

QString RunningExecutablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
#ifdef Q_OS_LINUX
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
#else
    return {};
#endif
}

}  // namespace brevio
