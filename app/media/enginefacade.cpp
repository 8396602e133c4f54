// Guarded calls into the engines.
#include "enginefacade.h"

#include "enginebindings.h"
#include "platform/usermessages.h"

EngineFacade::EngineFacade(UserMessages &messages, const QString &failureText, QObject *parent)
    : QObject(parent), m_messages(messages), m_failureText(failureText)
{
}

void EngineFacade::run(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EngineError &e) {
        // The program runs on without the engine; the user hears of it once.
        m_failed = true;
        m_messages.showErrorMessage(m_failureText + QString::number(e.number) + QLatin1Char(' ') +
                                    e.description);
        emit failed();
    }
}
