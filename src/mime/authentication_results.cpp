#include "mime/authentication_results.h"

#include "mime/header_lookup.h"

namespace brevio {

namespace {

// `value` with every comment (RFC 5322 §3.2.2, nested, with quoted pairs) turned into one blank;
// quoted strings are kept as they are.
QByteArray WithoutComments(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && (depth > 0 || quoted)) {
            if (!depth && i + 1 < value.size())
                out.append(value.sliced(i, 2));
            ++i;
        } else if (quoted) {
            out += c;
            quoted = c != '"';
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            if (--depth == 0)
                out += ' ';
        } else if (depth == 0) {
            out += c;
            quoted = c == '"';
        }
    }
    return out;
}

// The parts of `text` between semicolons outside quoted strings.
QList<QByteArrayView> SplitOutsideQuotes(QByteArrayView text)
{
    QList<QByteArrayView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && quoted)
            ++i;
        else if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ';' && !quoted) {
            parts.append(text.sliced(start, i - start).trimmed());
            start = i + 1;
        }
    }
    parts.append(text.sliced(start).trimmed());
    return parts;
}

QByteArray Unquoted(QByteArrayView word)
{
    if (word.size() >= 2 && word.front() == '"' && word.back() == '"')
        word = word.sliced(1, word.size() - 2);
    QByteArray out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] == '\\' && i + 1 < word.size())
            ++i;
        out += word[i];
    }
    return out;
}

// "spf=pass smtp.mailfrom=..." gives the method "spf" and the result "pass".
void ReadResultInfo(QByteArrayView info, TAuthenticationResults& results)
{
    const qsizetype equals = info.indexOf('=');
    if (equals <= 0)
        return;
    QByteArrayView method = info.first(equals).trimmed();
    if (const qsizetype slash = method.indexOf('/'); slash >= 0)
        method = method.first(slash).trimmed();  // "dkim/1": a method's version
    const QByteArrayView rest = info.sliced(equals + 1).trimmed();
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t')
        ++end;
    const TAuthResult result = AuthResultFromKeyword(rest.first(end));
    TAuthResult* slot = nullptr;
    if (method.compare("spf", Qt::CaseInsensitive) == 0)
        slot = &results.Spf;
    else if (method.compare("dkim", Qt::CaseInsensitive) == 0)
        slot = &results.Dkim;
    else if (method.compare("dmarc", Qt::CaseInsensitive) == 0)
        slot = &results.Dmarc;
    if (slot && (*slot == TAuthResult::Absent || (slot == &results.Dkim && result == TAuthResult::Pass)))
        *slot = result;
}

}  // namespace

TAuthResult AuthResultFromKeyword(QByteArrayView keyword)
{
    static const struct {
        const char* Word;
        TAuthResult Result;
    } kWords[] = {
        {"none", TAuthResult::None},
        {"pass", TAuthResult::Pass},
        {"fail", TAuthResult::Fail},
        {"softfail", TAuthResult::SoftFail},
        {"neutral", TAuthResult::Neutral},
        {"temperror", TAuthResult::TempError},
        {"permerror", TAuthResult::PermError},
        {"policy", TAuthResult::Policy},
        // The older names (RFC 5451) of the two errors.
        {"temperr", TAuthResult::TempError},
        {"permerr", TAuthResult::PermError},
    };
    for (const auto& word : kWords) {
        if (keyword.compare(word.Word, Qt::CaseInsensitive) == 0)
            return word.Result;
    }
    return TAuthResult::Other;
}

QByteArray AuthResultKeyword(TAuthResult result)
{
    switch (result) {
    case TAuthResult::Absent:
        return {};
    case TAuthResult::None:
        return "none";
    case TAuthResult::Pass:
        return "pass";
    case TAuthResult::Fail:
        return "fail";
    case TAuthResult::SoftFail:
        return "softfail";
    case TAuthResult::Neutral:
        return "neutral";
    case TAuthResult::TempError:
        return "temperror";
    case TAuthResult::PermError:
        return "permerror";
    case TAuthResult::Policy:
        return "policy";
    default:
        return "other";
    }
}

TAuthenticationResults ParseAuthenticationResults(QByteArrayView value)
{
    TAuthenticationResults results;
    const QByteArray text = WithoutComments(value);
    const QList<QByteArrayView> parts = SplitOutsideQuotes(text);
    // RFC 8601 §2.2: the authserv-id, then an optional version number.
    const QByteArrayView head = parts.first();
    qsizetype end = 0;
    bool quoted = false;
    while (end < head.size() && (quoted || (head[end] != ' ' && head[end] != '\t'))) {
        if (head[end] == '"')
            quoted = !quoted;
        ++end;
    }
    results.AuthServId = Unquoted(head.first(end));
    for (qsizetype i = 1; i < parts.size(); ++i)
        ReadResultInfo(parts.at(i), results);
    return results;
}

// Reads the trusted Authentication-Results header into `verdict` (see ReadSpamVerdict).
void ReadAuthenticationResults(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId, TSpamVerdict& verdict)
{
    static constexpr QByteArrayView kName = "Authentication-Results";
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.size() <= kName.size() || line[kName.size()] != ':'
            || QByteArrayView(line).first(kName.size()).compare(kName, Qt::CaseInsensitive) != 0)
            continue;
        const TAuthenticationResults results = ParseAuthenticationResults(HeaderValueAt(lines, i));
        if (!trustedAuthServId.isEmpty()
            && QByteArrayView(results.AuthServId).compare(trustedAuthServId, Qt::CaseInsensitive) != 0)
            continue;
        verdict.Spf = results.Spf;
        verdict.Dkim = results.Dkim;
        verdict.Dmarc = results.Dmarc;
        return;
    }
}

}  // namespace brevio
