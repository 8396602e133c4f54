// What the main window shows and what its controls do, without the window: the toolbar's
// commands, push-to-talk, Do Not Disturb, the indicator lights, the call clock and the activity
// animation, the size of the incoming picture, and closing the program. The data-rates window and
// the self view follow the call through it too.
#pragma once

#include <QObject>
#include <QSize>

class CallClock;
class CallSecurity;
class CallSession;
class CallSignalling;
class MediaSession;
class PictureTarget;
class QuickMessageReceiver;
class UserMessages;
struct Settings;

// The program's start-up and shutdown as the windows may ask for them.
class ProgramLifecycle
{
public:
    virtual ~ProgramLifecycle() = default;
    // The close check: false (and a message) while a connection is being established.
    virtual bool queryUnload() = 0;
    virtual void shutDown() = 0;
    virtual bool shutDownDone() const = 0;
};

class MainWindowModel : public QObject
{
    Q_OBJECT
public:
    enum Tool { CallTool = 0, DirectoryTool, SelfViewTool, ChatTool, TalkTool, ToolCount };
    enum class Light { Off, On, NoDevice };

    // The main window at the large zoom, and its smallest size, in twips.
    static constexpr int WidthTwips = 4960, HeightTwips = 5500;
    static constexpr int MinWidthTwips = 4935, MinHeightTwips = 3855;
    // The incoming picture is shown at its own size, within these bounds.
    static constexpr QSize StartPicture{320, 240}, LargestPicture{640, 480},
        SmallestPicture{80, 60};
    // View > Zoom: Small shows the picture at 160 x 120, Normal at 320 x 240.
    enum class Zoom { Small, Normal };
    static constexpr QSize SmallPicture{160, 120};
    // The twips the window adds around the picture.
    static constexpr int FrameWidthTwips = 160, FrameHeightTwips = 1905;

    struct Deps {
        Settings &settings;
        CallSession &session;
        CallSignalling &signalling;
        MediaSession &media;
        QuickMessageReceiver &received;
        ProgramLifecycle &program;
        UserMessages &messages;
        CallSecurity &security;
    };
    explicit MainWindowModel(const Deps &deps, QObject *parent = nullptr);

    // A toolbar button (or the activity picture, which is the Call button).
    void toolbarCommand(int tool);
    void hangUp();
    bool inCall() const;

    // The self view and chat windows as the View menu and the toolbar show them.
    bool selfViewShown() const { return m_selfViewShown; }
    void setSelfViewShown(bool shown);
    bool chatShown() const { return m_chatShown; }
    void setChatShown(bool shown);
    bool selfViewAvailable() const;
    // The self view follows the main window when it moves.
    bool selfViewFollowsMain() const;

    // Push-to-talk: held with the left button, latched on and off with the right one.
    void talkHeld(bool down);
    void talkLatch();
    bool talking() const { return m_talking; }

    bool doNotDisturb() const;
    void setDoNotDisturb(bool on);

    Light microphoneLight() const;
    Light speakerLight() const;
    Light cameraLight() const;
    bool quickMessagesShown() const;
    // A quick message waits to be opened; a double click on the indicator opens the next one.
    bool messageWaiting() const;
    void openNextMessage();
    // The options changed what the indicators show.
    void settingsChanged();

    const CallClock &clock() const;
    int animationFrame() const;

    // The call's lock: shown during a call, closed when the call is encrypted, with the code
    // both sides see and a tooltip in words.
    enum class Lock { None, Open, Closed };
    Lock lock() const;
    QString lockCode() const;
    QString lockDescription() const;

    // Where received pictures are drawn; set before start-up.
    void setIncomingTarget(PictureTarget *target);
    QSize displaySize() const { return m_display; }
    // A Zoom command; false (nothing changes) while the window is minimised or maximised, and for
    // Small while the peer's stream frames are 320 pixels wide.
    bool zoom(Zoom which, bool windowNormal);

    // Quit: false while a connection is being established (the user was told); otherwise the
    // program has shut down.
    bool requestClose();
    // A termination signal: shutdown without the close check.
    void terminate();
    bool shutDownDone() const;

signals:
    void directoryRequested();
    void selfViewRequested(bool show);
    void chatRequested(bool show);
    void selfViewShownChanged(bool shown);
    void chatShownChanged(bool shown);
    void selfViewAvailabilityChanged(bool available);
    void talkingChanged(bool on, bool latched);
    void doNotDisturbChanged(bool on);
    void lightsChanged();
    void quickMessagesShownChanged(bool shown);
    void messageIndicatorChanged(bool on);
    void clockChanged();
    void animationFrameChanged(int frame);
    void displaySizeChanged(QSize size);
    void callEntered();
    void callEnded();
    void lockChanged();
    // The data-rates window's figures.
    void figures(const QString &fpsIn, const QString &fpsOut, const QString &bpsIn,
                 const QString &bpsOut);
    void figuresReset();
    void captureRate(const QString &fps);
    // Every five seconds: the self view may follow the main window.
    void fiveSecondStep();

private:
    void showIncomingSize(int width, int height);
    void setTalking(bool on, bool latched);

    Deps m_deps;
    bool m_selfViewShown = false;
    bool m_chatShown = false;
    bool m_talking = false;
    QSize m_display = StartPicture;
};
