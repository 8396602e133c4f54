// A scripted user for demos and end-to-end runs without a person at the keyboard: it presses
// the Talk button, types chat lines, hangs up, sends and opens quick messages, through the same
// windows and events a person would use. The script comes from OVELA_SCRIPT, steps separated by
// ';'. Times in seconds after the call starts:
//   talk:START-END     hold the Talk button from START to END
//   chat:AT:text       type text and Enter in the chat window at AT
//   hangup:AT          press HangUp at AT
//   quit:AFTER         quit AFTER seconds once the call has ended
// Times in seconds after start-up:
//   send:AT:SECONDS:HOST:PORT:text   a quick message to HOST:PORT with a voice clip of SECONDS
//   call:AT:HOST:PORT  call HOST:PORT, as the directory window's Call button does
//   open:AT            open the next quick message and play its clip
//   write:AT:HOST:PORT:NAME:PLACE:text   open a quick message to NAME of PLACE at HOST:PORT
//                                        with text, not sent
//   menu:AT:ENTRY      choose the main window's menu entry by its name (Menu_ViewOptions)
//   tab:AT:WINDOW:N    bring tab N of the window named WINDOW (frmOptions) to the front
//   type:AT:WINDOW:BOX:text          type text into the box BOX of the window named WINDOW
//   click:AT:WINDOW:BUTTON           press the button BUTTON of the window named WINDOW
//   exit:AT            quit
#pragma once

#include <QObject>
#include <QString>

class MainWindow;
struct WindowModels;

class ScriptedUser : public QObject
{
    Q_OBJECT
public:
    ScriptedUser(const QString &script, MainWindow &main, const WindowModels &models,
                 QObject *parent = nullptr);

    // Whether the script could be read; a script with an unknown step does nothing at all.
    bool valid() const { return m_valid; }

private:
    struct Step {
        QString action;
        double at = 0, until = 0;
        QString text, host, window, box;
        int port = 0;
    };
    bool parse(const QString &script);
    void onCallEntered();
    void onCallEnded();
    void startSteps();
    void sendMessage(const Step &step);
    void runStep(const Step &step);
    static QWidget *window(const QString &name);
    void press(const char *button, Qt::MouseButton mouse, bool down);
    static void click(const char *window, const char *button);
    void type(const QString &text);

    MainWindow &m_main;
    const WindowModels &m_models;
    QList<Step> m_steps;
    double m_quitAfter = -1;
    bool m_valid = false;
};
