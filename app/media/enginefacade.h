// What the two engine facades share: every call into an engine runs guarded, and the first
// missing library or export is reported to the user once and makes the facade unusable, so no
// exception ever leaves a facade.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class UserMessages;

class EngineFacade : public QObject
{
    Q_OBJECT
public:
    // False once the engine or one of its functions turned out to be missing.
    bool usable() const { return !m_failed; }

signals:
    // The engine turned out to be missing (once).
    void failed();

protected:
    EngineFacade(UserMessages &messages, const QString &failureText, QObject *parent);

    // The call's result, or `failure` when the engine is missing (now or before).
    template <typename R, typename F> R guard(R failure, F &&call)
    {
        R result = failure;
        if (!m_failed) run([&] { result = call(); });
        return result;
    }

private:
    void run(const std::function<void()> &call);

    UserMessages &m_messages;
    QString m_failureText;
    bool m_failed = false;
};
