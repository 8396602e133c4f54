// The scripted user.
#include "scripteduser.h"

#include "calls/outgoingcall.h"
#include "messaging/messaging.h"
#include "shell/mainwindowmodel.h"
#include "shell/ui/mainwindow.h"
#include "shell/windowmodels.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <cmath>
#include <cstdio>

ScriptedUser::ScriptedUser(const QString &script, MainWindow &main, const WindowModels &models,
                           QObject *parent)
    : QObject(parent), m_main(main), m_models(models)
{
    m_valid = parse(script);
    if (!m_valid) {
        std::fprintf(stderr, "ovela: OVELA_SCRIPT not understood; nothing will be done: %s\n",
                     qPrintable(script));
        return;
    }
    connect(&models.main, &MainWindowModel::callEntered, this, &ScriptedUser::onCallEntered);
    connect(&models.main, &MainWindowModel::callEnded, this, &ScriptedUser::onCallEnded);
    startSteps();
}

bool ScriptedUser::parse(const QString &script)
{
    for (const QString &raw : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = raw.trimmed().split(QLatin1Char(':'));
        Step step;
        step.action = parts.value(0);
        bool ok = true;
        if (step.action == QLatin1String("talk") && parts.size() == 2) {
            const QStringList range = parts[1].split(QLatin1Char('-'));
            bool ok2 = false;
            step.at = range.value(0).toDouble(&ok);
            step.until = range.value(1).toDouble(&ok2);
            ok = ok && ok2 && step.until > step.at;
        } else if (step.action == QLatin1String("chat") && parts.size() >= 3) {
            step.at = parts[1].toDouble(&ok);
            step.text = parts.mid(2).join(QLatin1Char(':'));
        } else if (step.action == QLatin1String("hangup") && parts.size() == 2) {
            step.at = parts[1].toDouble(&ok);
        } else if (step.action == QLatin1String("send") && parts.size() >= 6) {
            bool ok2 = false;
            step.at = parts[1].toDouble(&ok);
            step.until = step.at + parts[2].toDouble(&ok2);
            step.host = parts[3];
            step.port = parts[4].toInt(&ok2);
            step.text = parts.mid(5).join(QLatin1Char(':'));
            ok = ok && ok2 && step.until >= step.at;
        } else if (step.action == QLatin1String("write") && parts.size() >= 7) {
            bool ok2 = false;
            step.at = parts[1].toDouble(&ok);
            step.host = parts[2];
            step.port = parts[3].toInt(&ok2);
            step.window = parts[4]; // the recipient's name and location
            step.box = parts[5];
            step.text = parts.mid(6).join(QLatin1Char(':'));
            ok = ok && ok2;
        } else if (step.action == QLatin1String("call") && parts.size() == 4) {
            bool ok2 = false;
            step.at = parts[1].toDouble(&ok);
            step.host = parts[2];
            step.port = parts[3].toInt(&ok2);
            ok = ok && ok2;
        } else if ((step.action == QLatin1String("open") || step.action == QLatin1String("exit")) &&
                   parts.size() == 2) {
            step.at = parts[1].toDouble(&ok);
        } else if (step.action == QLatin1String("menu") && parts.size() == 3) {
            step.at = parts[1].toDouble(&ok);
            step.text = parts[2];
        } else if (step.action == QLatin1String("tab") && parts.size() == 4) {
            bool ok2 = false;
            step.at = parts[1].toDouble(&ok);
            step.window = parts[2];
            step.port = parts[3].toInt(&ok2);
            ok = ok && ok2;
        } else if (step.action == QLatin1String("click") && parts.size() == 4) {
            step.at = parts[1].toDouble(&ok);
            step.window = parts[2];
            step.box = parts[3];
        } else if (step.action == QLatin1String("type") && parts.size() >= 5) {
            step.at = parts[1].toDouble(&ok);
            step.window = parts[2];
            step.box = parts[3];
            step.text = parts.mid(4).join(QLatin1Char(':'));
        } else if (step.action == QLatin1String("quit") && parts.size() == 2) {
            m_quitAfter = parts[1].toDouble(&ok);
            continue;
        } else {
            return false;
        }
        if (!ok || step.at < 0) return false;
        m_steps << step;
    }
    return true;
}

void ScriptedUser::onCallEntered()
{
    auto later = [this](double seconds, auto what) {
        QTimer::singleShot(int(std::lround(seconds * 1000)), this, what);
    };
    for (const Step &step : std::as_const(m_steps)) {
        if (step.action == QLatin1String("talk")) {
            later(step.at, [this] { press("cmdtoolbar_4", Qt::LeftButton, true); });
            later(step.until, [this] { press("cmdtoolbar_4", Qt::LeftButton, false); });
        } else if (step.action == QLatin1String("chat")) {
            const QString text = step.text;
            later(step.at, [this, text] { type(text); });
        } else if (step.action == QLatin1String("hangup")) {
            later(step.at, [this] {
                press("cmdtoolbar_0", Qt::LeftButton, true);
                press("cmdtoolbar_0", Qt::LeftButton, false);
            });
        }
    }
}

void ScriptedUser::startSteps()
{
    static const QStringList timedFromStart{
        QStringLiteral("send"), QStringLiteral("call"),  QStringLiteral("open"),
        QStringLiteral("exit"), QStringLiteral("write"), QStringLiteral("menu"),
        QStringLiteral("tab"),  QStringLiteral("type"),  QStringLiteral("click")};
    for (const Step &step : std::as_const(m_steps)) {
        if (!timedFromStart.contains(step.action)) continue;
        QTimer::singleShot(int(std::lround(step.at * 1000)), this, [this, step] { runStep(step); });
    }
}

void ScriptedUser::runStep(const Step &step)
{
    if (step.action == QLatin1String("send") || step.action == QLatin1String("write")) {
        sendMessage(step);
    } else if (step.action == QLatin1String("call")) {
        m_models.outgoing.placeCall(step.host, step.port, 0);
    } else if (step.action == QLatin1String("open")) {
        m_models.main.openNextMessage();
        click("frmMsgIn", "cmdPlay");
    } else if (step.action == QLatin1String("exit")) {
        m_main.quit();
    } else if (step.action == QLatin1String("menu")) {
        if (auto *entry = m_main.findChild<QAction *>(step.text)) entry->trigger();
    } else if (step.action == QLatin1String("tab")) {
        if (QWidget *top = window(step.window))
            if (auto *tabs = top->findChild<QTabWidget *>()) tabs->setCurrentIndex(step.port);
    } else if (step.action == QLatin1String("click")) {
        click(qPrintable(step.window), qPrintable(step.box));
    } else if (step.action == QLatin1String("type")) {
        QWidget *top = window(step.window);
        auto *box = top ? top->findChild<QLineEdit *>(step.box) : nullptr;
        if (!box) return;
        box->setFocus();
        for (const QChar c : step.text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &key);
        }
    }
}

QWidget *ScriptedUser::window(const QString &name)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == name && top->isVisible()) return top;
    return nullptr;
}

void ScriptedUser::sendMessage(const Step &step)
{
    const bool write = step.action == QLatin1String("write");
    emit m_models.messaging.composeRequested({write ? step.window : QString(),
                                              write ? step.box : QString(), step.host,
                                              quint16(step.port)});
    if (write) {
        if (QWidget *top = window(QStringLiteral("frmMsgOut")))
            if (auto *text = top->findChild<QPlainTextEdit *>(QStringLiteral("txtMessageOut")))
                text->setPlainText(step.text);
        return;
    }
    click("frmMsgOut", "cmdRecord");
    QTimer::singleShot(int(std::lround((step.until - step.at) * 1000)), this, [step] {
        click("frmMsgOut", "cmdStop");
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() != QLatin1String("frmMsgOut")) continue;
            if (auto *text = top->findChild<QPlainTextEdit *>(QStringLiteral("txtMessageOut")))
                text->setPlainText(step.text);
        }
        click("frmMsgOut", "cmdSend");
    });
}

void ScriptedUser::click(const char *window, const char *button)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() != QLatin1String(window) || !top->isVisible()) continue;
        if (auto *b = top->findChild<QAbstractButton *>(QLatin1String(button))) b->click();
    }
}

void ScriptedUser::onCallEnded()
{
    if (m_quitAfter >= 0)
        QTimer::singleShot(int(std::lround(m_quitAfter * 1000)), &m_main, &MainWindow::quit);
}

void ScriptedUser::press(const char *button, Qt::MouseButton mouse, bool down)
{
    QWidget *target = m_main.findChild<QWidget *>(QLatin1String(button));
    if (!target) return;
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at,
                      target->mapToGlobal(at), mouse, down ? mouse : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void ScriptedUser::type(const QString &text)
{
    QPlainTextEdit *pane = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmNewChat"))
            pane = top->findChild<QPlainTextEdit *>(QStringLiteral("txtOut"));
    if (!pane) return;
    for (const QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(pane, &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(pane, &enter);
}
