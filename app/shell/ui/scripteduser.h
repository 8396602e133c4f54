// A scripted user for demos and end-to-end runs without a person at the keyboard: during a call
// it presses the Talk button, types chat lines and hangs up, through the same windows and events
// a person would use. The script comes from OVELA_SCRIPT, steps separated by ';', times in
// seconds after the call starts:
//   talk:START-END     hold the Talk button from START to END
//   chat:AT:text       type text and Enter in the chat window at AT
//   hangup:AT          press HangUp at AT
//   quit:AFTER         quit AFTER seconds once the call has ended
#pragma once

#include <QObject>
#include <QString>

class FrmMain;
class MainWindowModel;

class ScriptedUser : public QObject
{
    Q_OBJECT
public:
    ScriptedUser(const QString &script, FrmMain &main, MainWindowModel &model,
                 QObject *parent = nullptr);

    // Whether the script could be read; a script with an unknown step does nothing at all.
    bool valid() const { return m_valid; }

private:
    struct Step {
        QString action;
        double at = 0, until = 0;
        QString text;
    };
    bool parse(const QString &script);
    void onCallEntered();
    void onCallEnded();
    void press(const char *button, Qt::MouseButton mouse, bool down);
    void type(const QString &text);

    FrmMain &m_main;
    QList<Step> m_steps;
    double m_quitAfter = -1;
    bool m_valid = false;
};
