// How logic classes talk to the user without knowing about windows: the information and error
// windows (non-blocking), the system message box (modal, OK) and a Yes/No question.
#pragma once

#include <QString>
#include <functional>

class UserMessages
{
public:
    virtual ~UserMessages() = default;
    // onOk runs when the user confirms the message.
    virtual void showInfoMessage(const QString &text, std::function<void()> onOk = {}) = 0;
    virtual void showErrorMessage(const QString &text) = 0;
    // With the program's title unless another is given.
    virtual void messageBox(const QString &text, const QString &title = {}) = 0;
    virtual bool askYesNo(const QString &text) = 0;
    // Asks without holding the program up: `answer` runs with the choice (true for Yes) once the
    // user has made it.
    virtual void ask(const QString &text, std::function<void(bool)> answer)
    {
        answer(askYesNo(text));
    }
    // Closes the question ask() left open, unanswered (what it asked about is over).
    virtual void withdrawQuestion() {}
};
