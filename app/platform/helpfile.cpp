// The help file and its topics.
#include "helpfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace
{

// The text of an HTML fragment: tags dropped, the few entities the guide uses decoded, blanks
// run together.
QString plainText(QString html)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    html.replace(tags, QStringLiteral(" "));
    static const std::pair<const char *, const char *> entities[] = {
        {"&lt;", "<"},    {"&gt;", ">"},    {"&quot;", "\""}, {"&nbsp;", " "},
        {"&ndash;", "-"}, {"&mdash;", "-"}, {"&#39;", "'"},   {"&amp;", "&"}};
    for (const auto &[entity, text] : entities)
        html.replace(QLatin1String(entity), QLatin1String(text));
    return html.replace(blanks, QStringLiteral(" ")).trimmed();
}

} // namespace

QStringList HelpFile::searchPath()
{
    QStringList dirs{QDir::currentPath()};
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/ovela/help");
    return dirs;
}

QString HelpFile::locate()
{
    for (const QString &dir : searchPath()) {
        const QString path = dir + QLatin1Char('/') + FileName;
        if (QFileInfo(path).isFile()) return QFileInfo(path).canonicalFilePath();
    }
    return {};
}

bool HelpFile::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    m_path = path;
    parse(QString::fromUtf8(file.readAll()));
    return true;
}

void HelpFile::parse(const QString &html)
{
    m_html = html;
    m_topics.clear();
    static const QRegularExpression heading(
        QStringLiteral("<h([23])[^>]*\\bid\\s*=\\s*\"([^\"]+)\"[^>]*>(.*?)</h\\1>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    qsizetype previousEnd = -1;
    for (auto it = heading.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m_topics.isEmpty())
            m_topics.last().text +=
                plainText(html.mid(previousEnd, m.capturedStart() - previousEnd));
        m_topics.append({m.captured(2), plainText(m.captured(3)), m.captured(1).toInt(), {}});
        m_topics.last().text = m_topics.last().title + QLatin1Char(' ');
        previousEnd = m.capturedEnd();
    }
    if (!m_topics.isEmpty()) m_topics.last().text += plainText(html.mid(previousEnd));
}

QList<int> HelpFile::find(const QString &query) const
{
    const QStringList words = query.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto count = [&words](const QString &where) {
        int n = 0;
        for (const QString &w : words)
            n += where.contains(w, Qt::CaseInsensitive) ? 1 : 0;
        return n;
    };
    // Every word in the title, then every word in the topic, then as many words as possible.
    struct Hit {
        int topic, rank;
    };
    QList<Hit> hits;
    const int all = int(words.size());
    for (int i = 0; i < m_topics.size(); ++i) {
        const int inText = count(m_topics[i].text);
        if (all > 0 && inText == 0) continue;
        const int rank = count(m_topics[i].title) == all ? 2 * all + 1
                         : inText == all                 ? 2 * all
                                                         : inText;
        hits.append({i, rank});
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.rank > b.rank; });
    QList<int> found;
    for (const Hit &h : hits)
        found << h.topic;
    return found;
}
