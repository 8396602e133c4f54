// A token bucket per IPv4 address: an address may do a thing `perHour` times in a row, then gets
// one more go back every hour / perHour. Buckets that are full again are forgotten once there
// are many, so a crowd of addresses costs memory only while it keeps coming.
#pragma once

#include <QHash>

class AddressBuckets
{
public:
    explicit AddressBuckets(int perHour) : m_perHour(perHour) {} // 0: no limit

    // Whether the address has a go left.
    bool allows(quint32 address, qint64 nowMs);
    // Takes a go. `what` (not 0) names the attempt: the same attempt twice in a row costs only
    // once, so a client that repeats one mistake is not taken for one that tries one thing
    // after another.
    enum Taken { Took, TookTheLast, NoneLeft };
    Taken take(quint32 address, qint64 nowMs, size_t what = 0);

private:
    struct Bucket {
        double goes = 0;
        qint64 at = 0; // when `goes` was last brought up to date
        size_t last = 0;
    };
    Bucket &refilled(quint32 address, qint64 nowMs);

    int m_perHour;
    QHash<quint32, Bucket> m_buckets;
};
