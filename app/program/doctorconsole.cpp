// The connection doctor on the terminal.
#include "doctorconsole.h"

#include "directory/palpresence.h"
#include "doctor/connectiondoctor.h"
#include "doctor/portowner.h"
#include "media/audioengine.h"
#include "media/videoengine.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "router/portmapping.h"
#include "shell/sounddevices.h"
#include "userdata/settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

namespace
{

// What the engines would tell a person goes to standard error.
class ConsoleMessages : public UserMessages
{
public:
    void showInfoMessage(const QString &text, std::function<void()> onOk) override
    {
        std::fprintf(stderr, "ovela: %s\n", qPrintable(text));
        if (onOk) onOk();
    }
    void showErrorMessage(const QString &text) override
    {
        std::fprintf(stderr, "ovela: %s\n", qPrintable(text));
    }
    void messageBox(const QString &text, const QString &) override { showErrorMessage(text); }
    bool askYesNo(const QString &) override { return false; }
};

class SilentPlayer : public SoundPlayer
{
public:
    void play(const QString &) override {}
};

// The capture drivers the video engine offers, each connected once for its name.
QStringList cameraNames(VideoEngine &engine)
{
    QStringList names;
    if (!engine.initialize()) return names;
    if (RXVCapture *capture = engine.createCaptureWindow(nullptr, 0, 0, 320, 240)) {
        for (int i = 0; i < 10 && engine.driverConnect(capture, i); ++i) {
            names << engine.driverName(capture);
            engine.driverDisconnect(capture);
        }
        engine.destroyCaptureWindow(capture);
    }
    engine.terminate();
    return names;
}

} // namespace

int runDoctorOnConsole(int argc, char **argv, quint16 basePort)
{
    QCoreApplication app(argc, argv);
    ConsoleMessages messages;
    SilentPlayer player;
    Settings settings;
    const QString settingsPath = settingsFilePath();
    loadSettings(settingsPath, settings);
    AudioEngine audio(messages);
    VideoEngine video(messages);
    SoundDevices sound(audio, player, messages, QFileInfo(settingsPath).absolutePath());
    sound.load();

    // The router is asked as the program would ask it, unless the program runs and keeps the
    // forwarding itself; what this asks for goes again when the doctor ends.
    PortMapping mapping(QFileInfo(settingsPath).absolutePath());
    mapping.load();
    const bool programRunning = tcpPortOwner(basePort).has_value();
    if (mapping.enabled() && !programRunning) {
        mapping.start(basePort);
        QElapsedTimer waited;
        waited.start();
        while (!mapping.state().searched && waited.elapsed() < 8000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
    }

    ConnectionDoctor doctor;
    doctor.setSetupSource([&] {
        DoctorSetup setup;
        setup.directoryHost = settings.DirAddress;
        setup.directoryPort = quint16(settings.DirPort);
        PalPresence::defaultServer(&setup.palHost, &setup.palPort);
        setup.basePort = basePort;
        setup.cameras = [&video] { return cameraNames(video); };
        setup.router = [&] {
            RouterReport r = RouterReport::of(mapping);
            if (programRunning)
                r.note = QStringLiteral("OVELA is running and keeps the router's forwarding "
                                        "itself: its Help > Connection Doctor shows it.");
            return r;
        };
        setup.openSound = [&](bool recording) {
            return audio.tryDevice(recording) ? QString() : sound.chosen(recording);
        };
        return setup;
    });
    std::printf("OVELA connection doctor\n");
    QObject::connect(&doctor, &ConnectionDoctor::checkDone, [](const DoctorCheck &c) {
        std::printf("[%s] %s: %s\n", qPrintable(ConnectionDoctor::verdictText(c.verdict)),
                    qPrintable(c.title), qPrintable(c.finding));
        if (!c.advice.isEmpty()) std::printf("    What to do: %s\n", qPrintable(c.advice));
        std::fflush(stdout);
    });
    QObject::connect(&doctor, &ConnectionDoctor::finished, &app, &QCoreApplication::quit);
    doctor.run();
    if (doctor.running()) QCoreApplication::exec();
    // A terminal can wait for a slow router longer than a closing window, so that what the
    // doctor asked for surely goes.
    mapping.stop(15000);
    std::printf("%s\n", qPrintable(doctor.summary()));
    return doctor.callsCanWork() ? 0 : 1;
}
