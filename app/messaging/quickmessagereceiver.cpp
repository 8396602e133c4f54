// The quick-message listener and its slots.
#include "quickmessagereceiver.h"

#include "messaging/messagestore.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "userdata/lists.h"
#include "userdata/settings.h"

#include <algorithm>

using namespace QuickMessage;

QuickMessageReceiver::QuickMessageReceiver(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_listener(deps.transports.listener())
{
    m_listener->setIdleTimeout(IdleMs);
    connect(m_listener.get(), &LineListener::connectionAccepted, this,
            [this](int id, int status) { onConnected(id, status); });
    connect(m_listener.get(), &LineListener::dataIn, this,
            [this](int id, const QByteArray &bytes) { onData(id, bytes); });
    connect(m_listener.get(), &LineListener::disconnected, this, [this](int id) { onClosed(id); });
    connect(&m_overdue, &QTimer::timeout, this, &QuickMessageReceiver::closeOverdue);
    setTimeLimit(TimeLimitMs);
}

QuickMessageReceiver::~QuickMessageReceiver() = default;

EndpointError QuickMessageReceiver::start(quint16 basePort)
{
    m_listener->setActive(true);
    m_listener->setLocalPort(quint16(basePort + MessagePortOffset));
    m_overdue.start();
    return m_listener->setListening(true);
}

void QuickMessageReceiver::shutDown()
{
    m_overdue.stop();
    m_listener->setListening(false);
    m_listener->setActive(false);
}

quint16 QuickMessageReceiver::listeningPort() const
{
    return m_listener->listening() ? m_listener->localPort() : 0;
}

void QuickMessageReceiver::setIdleTimeout(int ms)
{
    m_listener->setIdleTimeout(ms);
}

void QuickMessageReceiver::setTimeLimit(int ms)
{
    m_timeLimitMs = ms;
    m_overdue.setInterval(std::clamp(ms / 4, 50, 5000));
}

void QuickMessageReceiver::closeOverdue()
{
    QList<int> overdue;
    for (const auto &[id, connection] : m_connections)
        if (m_listener->connectionAge(id) > m_timeLimitMs) overdue.append(id);
    for (int id : overdue)
        m_listener->setConnected(id, false);
}

void QuickMessageReceiver::loadUnopened(const QString &path)
{
    m_storePath = path;
    const QList<ReceivedMessage> unopened = MessageStore::load(m_deps.messages, path);
    int slot = 0;
    for (const ReceivedMessage &message : unopened) {
        if (slot >= Slots) break;
        m_slots[size_t(slot)].state = State::Complete;
        m_slots[size_t(slot)].message = message;
        ++slot;
    }
    emit indicatorChanged(messageWaiting());
}

QuickMessageReceiver::State QuickMessageReceiver::state(int slot) const
{
    return m_slots[size_t(slot - 1)].state;
}

bool QuickMessageReceiver::messageWaiting() const
{
    return waitingCount() > 0;
}

int QuickMessageReceiver::waitingCount() const
{
    int waiting = 0;
    for (const Slot &s : m_slots)
        waiting += s.state == State::Complete ? 1 : 0;
    return waiting;
}

void QuickMessageReceiver::onConnected(int id, int status)
{
    if (status != 0) return;
    // The first free slot is this connection's from now on, so no other sender can take it.
    int slot = 0;
    for (int i = 1; i <= Slots && slot == 0; ++i) {
        Slot &s = m_slots[size_t(i - 1)];
        if (s.state == State::Free && s.connection == 0) slot = i;
    }
    if (slot == 0) {
        m_listener->setConnected(id, false);
        return;
    }
    m_slots[size_t(slot - 1)].connection = id;
    m_connections[id].slot = slot;
    m_listener->setBufferSizes(id, FirstBuffer, FirstBuffer);
    // The lines are taken by the reader, which reads payloads by their length.
    m_listener->setEol(id, QByteArray());
}

void QuickMessageReceiver::onData(int id, const QByteArray &bytes)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    std::vector<Message> messages = it->second.reader.feed(bytes);
    if (it->second.reader.overflowed()) {
        m_listener->setConnected(id, false);
        return;
    }
    const int slot = it->second.slot;
    for (const Message &message : messages)
        if (!handle(id, m_slots[size_t(slot - 1)], message)) return;
}

bool QuickMessageReceiver::handle(int id, Slot &slot, const Message &message)
{
    if (const auto *request = std::get_if<Request>(&message)) {
        // The slot stays free: a request alone never takes one.
        const bool refused =
            m_deps.refuseList.refuses(request->id) || m_deps.settings.MessagingDisable;
        m_listener->dataToSend(id, refused ? build(Refused{}) : build(Accepted{}));
    } else if (const auto *body = std::get_if<Body>(&message)) {
        slot.state = State::Receiving;
        ReceivedMessage &m = slot.message;
        m = ReceivedMessage();
        m.senderId = body->id;
        m.name = body->name;
        m.email = body->email;
        m.location = body->location;
        m.timeSent = body->time;
        m.text = body->text;
        m.address = m_listener->remoteHost(id);
        m_listener->dataToSend(id, build(Next{}));
    } else if (const auto *picture = std::get_if<Picture>(&message)) {
        if (slot.state == State::Receiving) slot.message.picture = picture->jpeg;
        m_listener->dataToSend(id, build(Next{}));
    } else if (const auto *chunk = std::get_if<AudioChunk>(&message)) {
        if (slot.state == State::Receiving && slot.message.audio.size() < MaxChunks)
            slot.message.audio.append(chunk->block);
    } else if (std::holds_alternative<AudioEnd>(message)) {
        m_listener->dataToSend(id, build(Next{}));
    } else if (std::holds_alternative<End>(message)) {
        if (slot.state != State::Receiving) return true; // an end without a message
        completed(id, slot);
        return false;
    }
    return true;
}

void QuickMessageReceiver::completed(int id, Slot &slot)
{
    slot.state = State::Complete;
    slot.connection = 0;
    m_connections.erase(id);
    saveUnopened();
    m_deps.sounds.play(QStringLiteral("inmsg.wav"));
    emit indicatorChanged(true);
    emit messageArrived(slot.message);
    m_listener->setConnected(id, false);
}

void QuickMessageReceiver::onClosed(int id)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    // A message cut off before its end is not kept; the slot is free again.
    Slot &slot = m_slots[size_t(it->second.slot - 1)];
    slot = Slot();
    m_connections.erase(it);
}

bool QuickMessageReceiver::openNextMessage(ReceivedMessage *message)
{
    emit indicatorChanged(false);
    for (Slot &slot : m_slots) {
        if (slot.state != State::Complete) continue;
        *message = std::move(slot.message);
        slot = Slot();
        saveUnopened();
        emit messageOpened(*message);
        if (messageWaiting()) emit indicatorChanged(true);
        return true;
    }
    return false;
}

void QuickMessageReceiver::saveUnopened()
{
    if (m_storePath.isEmpty()) return;
    QList<ReceivedMessage> unopened;
    for (const Slot &slot : m_slots)
        if (slot.state == State::Complete) unopened.append(slot.message);
    MessageStore::save(unopened, m_deps.messages, m_storePath);
}
