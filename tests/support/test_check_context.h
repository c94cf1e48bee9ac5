#pragma once
// A check context for tests: records log entries, status texts and trace lines, and answers
// login prompts from a prepared list.

#include "engine/check_context.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace brevio::test {

class TTestCheckContext : public TCheckContext {
public:
    struct TAnswer {
        bool Confirm;
        QString UserName;
        QString Password;
    };

    bool Scheduled = false;
    QList<TAnswer> Answers;  // one per prompt, in order; a prompt without one cancels
    QStringList Prompts;     // the hosts asked for
    QStringList Logged;
    QList<QByteArray> TraceLines;
    bool Tracing = false;
    // Commands one at a time unless a test asks for pipelining.
    bool PipelineCommands = false;
    THeaderCache* Cache = nullptr;
    // The run's message texts: the built-in ones unless a test gives a language's.
    TStringTable Texts;

    void SetStatus(const QString&) override {}
    void ThrowIfAborted() override {}
    bool IsScheduledCheck() const override { return Scheduled; }
    bool AskLoginAndPassword(const QString& host, QString& userName, QString& password) override
    {
        Prompts.append(host);
        if (Answers.isEmpty())
            return false;
        const TAnswer answer = Answers.takeFirst();
        userName = answer.UserName;
        password = answer.Password;
        return answer.Confirm;
    }
    void Log(const QString& text) override { Logged.append(text); }
    bool Pipelining() const override { return PipelineCommands; }
    THeaderCache* HeaderCache() override { return Cache; }
    const TStringTable& Strings() const override { return Texts; }
    TTraceSink TraceSink() const override
    {
        if (!Tracing)
            return {};
        auto* lines = const_cast<QList<QByteArray>*>(&TraceLines);
        return [lines](const QByteArray& line) { lines->append(line); };
    }
};

}  // namespace brevio::test
