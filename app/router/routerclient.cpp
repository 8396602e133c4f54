// UPnP IGD through libminiupnpc, NAT-PMP through libnatpmp. Every string and number a router
// sends is checked before use: its outside address is parsed, and its port list is read only
// for entries this program made.
#include "routerclient.h"

#include "portmapplan.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QUrl>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#define ENABLE_STRNATPMPERR
#include <natpmp.h>

#include <arpa/inet.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

using PortMapPlan::Answer;

namespace
{
// Marks this program's mappings in the router's list, so stale ones can be told from others'.
const QByteArray Description = QByteArrayLiteral("OVELA");
// NAT-PMP would retry for a minute by its rules; a router on the home network answers in
// milliseconds or not at all.
constexpr int NatPmpWaitMs = 2000;
// UPnP: the IGD's error when another machine holds the outside port.
constexpr int ConflictInMappingEntry = 718, OnlyPermanentLeases = 725;

QByteArray number(int value)
{
    return QByteArray::number(value);
}

QString upnpError(int code)
{
    const char *text = strupnperror(code);
    return QStringLiteral("UPnP error %1 (%2)")
        .arg(code)
        .arg(text ? QString::fromLatin1(text) : QStringLiteral("unknown"));
}
} // namespace

QString PortMapState::methodName() const
{
    switch (method) {
    case Method::Upnp:
        return QStringLiteral("UPnP IGD");
    case Method::NatPmp:
        return QStringLiteral("NAT-PMP");
    case Method::None:
        break;
    }
    return QStringLiteral("none");
}

struct RouterClient::Upnp {
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64] = {};
    ~Upnp() { FreeUPNPUrls(&urls); }
    const char *control() const { return urls.controlURL; }
    const char *service() const { return data.first.servicetype; }
};

struct RouterClient::NatPmp {
    natpmp_t handle{-1, 0, 0, {}, 0, 0, {}};
    ~NatPmp() { closenatpmp(&handle); }
    // Sends nothing itself: waits for the answer to the request just sent, within NatPmpWaitMs.
    int answer(natpmpresp_t *response)
    {
        QElapsedTimer clock;
        clock.start();
        int r = NATPMP_TRYAGAIN;
        while (r == NATPMP_TRYAGAIN && clock.elapsed() < NatPmpWaitMs) {
            timeval timeout{};
            getnatpmprequesttimeout(&handle, &timeout);
            const qint64 leftMs = NatPmpWaitMs - clock.elapsed();
            if (timeout.tv_sec * 1000 + timeout.tv_usec / 1000 > leftMs)
                timeout = {time_t(leftMs / 1000), suseconds_t(leftMs % 1000 * 1000)};
            fd_set read;
            FD_ZERO(&read);
            FD_SET(handle.s, &read);
            select(handle.s + 1, &read, nullptr, nullptr, &timeout);
            r = readnatpmpresponseorretry(&handle, response);
        }
        return r;
    }
};

RouterClient::RouterClient() = default;
RouterClient::~RouterClient() = default;

bool RouterClient::findRouter(QStringList *log)
{
    if (m_upnp || m_natpmp) return true;
    int error = 0;
    // Only gateways are searched for: each kind of device searched costs a wait when nothing
    // answers.
    static const char *const gateways[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                           "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                                           nullptr};
    UPNPDev *devices = upnpDiscoverDevices(gateways, DiscoveryMs, nullptr, nullptr,
                                           UPNP_LOCAL_PORT_ANY, 0, 2, &error, 0);
    if (devices) {
        auto upnp = std::make_unique<Upnp>();
        const int found = UPNP_GetValidIGD(devices, &upnp->urls, &upnp->data, upnp->lanAddress,
                                           sizeof upnp->lanAddress - 1);
        freeUPNPDevlist(devices);
        // 1: a connected gateway; 2: one that says it is not connected, which may still map.
        if (found == 1 || found == 2) {
            m_upnp = std::move(upnp);
            m_state.method = PortMapState::Method::Upnp;
            m_state.router = QUrl(QString::fromLatin1(m_upnp->control())).host();
            m_state.localAddress = QString::fromLatin1(m_upnp->lanAddress);
            return true;
        }
        *log << QStringLiteral("UPnP devices answered, but none is an Internet gateway");
    }
    if (m_cancelled) return false;
    auto natpmp = std::make_unique<NatPmp>();
    if (initnatpmp(&natpmp->handle, 0, 0) < 0) return false;
    natpmpresp_t response{};
    if (sendpublicaddressrequest(&natpmp->handle) < 0 || natpmp->answer(&response) < 0 ||
        response.type != NATPMP_RESPTYPE_PUBLICADDRESS)
        return false;
    in_addr gateway{};
    gateway.s_addr = natpmp->handle.gateway;
    m_state.method = PortMapState::Method::NatPmp;
    m_state.router = QString::fromLatin1(inet_ntoa(gateway));
    m_state.externalAddress =
        QHostAddress(ntohl(response.pnu.publicaddress.addr.s_addr)).toString();
    // The router forwards to the address the request came from: the one a socket towards it
    // gets.
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{}, local{};
    to.sin_family = AF_INET;
    to.sin_port = htons(5351);
    to.sin_addr = gateway;
    socklen_t size = sizeof local;
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&local), &size) == 0)
        m_state.localAddress = QHostAddress(ntohl(local.sin_addr.s_addr)).toString();
    if (s >= 0) ::close(s);
    m_natpmp = std::move(natpmp);
    return true;
}

// A crash leaves mappings behind until their lease ends; they would keep outside ports that the
// program now wants, so those made for this machine by this program go first.
void RouterClient::removeOwnStale()
{
    const QByteArray me = QByteArray(m_upnp->lanAddress);
    for (int index = 0, asked = 0; asked < 256; ++asked) {
        char outside[6] = {}, client[40] = {}, inside[6] = {}, protocol[4] = {}, text[80] = {},
             enabled[4] = {}, remote[64] = {}, duration[16] = {};
        if (UPNP_GetGenericPortMappingEntry(m_upnp->control(), m_upnp->service(),
                                            number(index).constData(), outside, client, inside,
                                            protocol, text, enabled, remote, duration) != 0)
            return;
        if (me == client && QByteArray(text) == Description && QByteArray(protocol) == "TCP" &&
            UPNP_DeletePortMapping(m_upnp->control(), m_upnp->service(), outside, "TCP", nullptr) ==
                0)
            continue; // the next entry moved to this index
        ++index;
    }
}

void RouterClient::mapBlock(QStringList *log)
{
    PortMapPlan::Router router;
    qint64 granted = PortMapPlan::LeaseSeconds;
    QString failure;
    if (m_upnp) {
        char external[64] = {};
        const int r = UPNP_GetExternalIPAddress(m_upnp->control(), m_upnp->service(), external);
        // Shown and logged: only an address, whatever the router put there.
        QHostAddress address;
        m_state.externalAddress =
            r == 0 && address.setAddress(QString::fromLatin1(external).trimmed())
                ? address.toString()
                : QString();
        removeOwnStale();
        router.map = [this, &granted, &failure](quint16 outside, quint16 inside, quint16 *) {
            if (m_cancelled) return Answer::Failed;
            int r = OnlyPermanentLeases;
            for (const int lease : {int(granted), 0}) {
                r = UPNP_AddPortMapping(m_upnp->control(), m_upnp->service(),
                                        number(outside).constData(), number(inside).constData(),
                                        m_upnp->lanAddress, Description.constData(), "TCP", nullptr,
                                        number(lease).constData());
                if (r != OnlyPermanentLeases) break;
                granted = 0; // this router keeps mappings until they are removed
            }
            if (r == 0) return Answer::Mapped;
            if (r == ConflictInMappingEntry) return Answer::Conflict;
            failure = upnpError(r);
            return Answer::Failed;
        };
        router.remove = [this](quint16 outside, quint16) {
            UPNP_DeletePortMapping(m_upnp->control(), m_upnp->service(),
                                   number(outside).constData(), "TCP", nullptr);
        };
    } else {
        router.map = [this, &granted, &failure](quint16 outside, quint16 inside, quint16 *got) {
            if (m_cancelled) return Answer::Failed;
            natpmpresp_t response{};
            int r = sendnewportmappingrequest(&m_natpmp->handle, NATPMP_PROTOCOL_TCP, inside,
                                              outside, PortMapPlan::LeaseSeconds);
            if (r >= 0) r = m_natpmp->answer(&response);
            if (r < 0 || response.type != NATPMP_RESPTYPE_TCPPORTMAPPING ||
                response.pnu.newportmapping.privateport != inside) {
                failure = QStringLiteral("NAT-PMP: %1")
                              .arg(QString::fromLatin1(r < 0 ? strnatpmperr(r) : "a wrong answer"));
                return Answer::Failed;
            }
            *got = response.pnu.newportmapping.mappedpublicport;
            granted = std::min<qint64>(granted, response.pnu.newportmapping.lifetime);
            return Answer::Mapped;
        };
        router.remove = [this](quint16, quint16 inside) {
            natpmpresp_t response{};
            if (sendnewportmappingrequest(&m_natpmp->handle, NATPMP_PROTOCOL_TCP, inside, 0, 0) >=
                0)
                m_natpmp->answer(&response);
        };
    }
    const PortMapPlan::Block block = PortMapPlan::mapBlock(m_state.insideBase, router);
    m_state.outsideBase = block.outsideBase;
    m_lease = int(granted);
    m_state.renewSeconds = PortMapPlan::renewSeconds(granted);
    m_state.problem = block.outsideBase
                          ? PortMapPlan::externalAddressProblem(m_state.externalAddress)
                          : (failure.isEmpty() ? block.error : failure);
    if (!block.outsideBase) {
        *log << QStringLiteral("The %1 router at %2 did not forward ports %3-%4: %5")
                    .arg(m_state.methodName(), m_state.router)
                    .arg(m_state.insideBase)
                    .arg(m_state.insideBase + 3)
                    .arg(m_state.problem);
        return;
    }
    *log << QStringLiteral("The %1 router at %2 forwards its outside address %3, ports %4-%5, "
                           "to %6 ports %7-%8")
                .arg(m_state.methodName(), m_state.router,
                     m_state.externalAddress.isEmpty() ? QStringLiteral("(unknown)")
                                                       : m_state.externalAddress)
                .arg(block.outsideBase)
                .arg(block.outsideBase + 3)
                .arg(m_state.localAddress)
                .arg(m_state.insideBase)
                .arg(m_state.insideBase + 3);
    if (!m_state.problem.isEmpty()) *log << QStringLiteral("But ") + m_state.problem;
}

void RouterClient::map(quint16 insideBase)
{
    QStringList log;
    m_state.insideBase = insideBase;
    m_state.outsideBase = 0;
    const bool found = findRouter(&log);
    if (m_cancelled) return; // the program is ending: nothing to report
    if (!found) {
        m_state = PortMapState{};
        m_state.insideBase = insideBase;
        m_state.problem = QStringLiteral("no router answered (UPnP IGD or NAT-PMP)");
        m_state.renewSeconds = PortMapPlan::PermanentRenewSeconds; // look again later
        log << QStringLiteral("No router answered a request to forward ports (UPnP IGD or "
                              "NAT-PMP): calls from outside this network reach this machine "
                              "only if its ports are forwarded by hand");
    } else {
        mapBlock(&log);
        if (m_cancelled && !m_state.portsMapped()) return;
    }
    m_state.searched = true;
    emit done(m_state, log);
}

void RouterClient::renew()
{
    if (m_cancelled) return;
    if (!m_state.portsMapped()) {
        // Nothing was found or mapped last time: the router may be back, or another one there.
        m_upnp.reset();
        m_natpmp.reset();
        map(m_state.insideBase);
        return;
    }
    const quint16 before = m_state.outsideBase;
    QStringList log;
    bool renewed = true;
    for (int i = 0; i < PortMapPlan::PortCount && renewed; ++i) {
        const quint16 outside = quint16(before + i), inside = quint16(m_state.insideBase + i);
        if (m_upnp) {
            renewed = UPNP_AddPortMapping(m_upnp->control(), m_upnp->service(),
                                          number(outside).constData(), number(inside).constData(),
                                          m_upnp->lanAddress, Description.constData(), "TCP",
                                          nullptr, number(m_lease).constData()) == 0;
        } else {
            natpmpresp_t response{};
            renewed = sendnewportmappingrequest(&m_natpmp->handle, NATPMP_PROTOCOL_TCP, inside,
                                                outside, PortMapPlan::LeaseSeconds) >= 0 &&
                      m_natpmp->answer(&response) >= 0 &&
                      response.pnu.newportmapping.mappedpublicport == outside;
        }
    }
    if (renewed) {
        emit done(m_state, log);
        return;
    }
    log << QStringLiteral("The router no longer renews the forwarding of ports %1-%2; asking "
                          "it afresh")
               .arg(before)
               .arg(before + 3);
    emit done(m_state, log);
    unmap();
    m_upnp.reset();
    m_natpmp.reset();
    map(m_state.insideBase);
}

void RouterClient::unmap()
{
    if (!m_state.portsMapped()) return;
    for (int i = 0; i < PortMapPlan::PortCount; ++i) {
        const quint16 outside = quint16(m_state.outsideBase + i);
        if (m_upnp)
            UPNP_DeletePortMapping(m_upnp->control(), m_upnp->service(),
                                   number(outside).constData(), "TCP", nullptr);
        else if (m_natpmp) {
            natpmpresp_t response{};
            if (sendnewportmappingrequest(&m_natpmp->handle, NATPMP_PROTOCOL_TCP,
                                          m_state.insideBase + i, 0, 0) >= 0)
                m_natpmp->answer(&response);
        }
    }
    const QString line = QStringLiteral("The router no longer forwards ports %1-%2")
                             .arg(m_state.outsideBase)
                             .arg(m_state.outsideBase + 3);
    m_state.outsideBase = 0;
    m_state.problem = QStringLiteral("turned off");
    emit done(m_state, {line});
}
