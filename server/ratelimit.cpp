// Token buckets per address.
#include "ratelimit.h"

#include <algorithm>

namespace
{
constexpr double HourMs = 3600.0 * 1000.0;
constexpr qsizetype ManyAddresses = 100000;
} // namespace

AddressBuckets::Bucket &AddressBuckets::refilled(quint32 address, qint64 now)
{
    const auto refill = [&](Bucket &b) {
        b.goes = std::min<double>(m_perHour, b.goes + double(now - b.at) * m_perHour / HourMs);
        b.at = now;
    };
    if (m_buckets.size() > ManyAddresses) {
        for (auto it = m_buckets.begin(); it != m_buckets.end();) {
            refill(*it);
            it = it->goes >= m_perHour ? m_buckets.erase(it) : std::next(it);
        }
    }
    auto it = m_buckets.find(address);
    if (it == m_buckets.end()) return *m_buckets.insert(address, Bucket{double(m_perHour), now, 0});
    refill(*it);
    return *it;
}

bool AddressBuckets::allows(quint32 address, qint64 now)
{
    if (m_perHour <= 0) return true;
    const auto it = m_buckets.constFind(address);
    return it == m_buckets.cend() || refilled(address, now).goes >= 1;
}

AddressBuckets::Taken AddressBuckets::take(quint32 address, qint64 now, size_t what)
{
    if (m_perHour <= 0) return Took;
    Bucket &b = refilled(address, now);
    if (what != 0 && what == b.last) return Took;
    if (b.goes < 1) return NoneLeft;
    b.goes -= 1;
    b.last = what;
    return b.goes < 1 ? TookTheLast : Took;
}
