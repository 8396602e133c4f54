// The help file "ovela.hlp": the user's guide, an HTML document in the subset that Qt's rich text
// shows (headings, paragraphs, lists, tables, links). Its topics are its <h2> and <h3> headings
// that carry an id; the part before the first topic is the contents page. The file is found by
// its bare name as the sounds are: in the current folder, then in the data folder beside the
// program's (share/ovela/help, installed or in the build folder).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class HelpFile
{
public:
    inline static const QString FileName = QStringLiteral("ovela.hlp");

    struct Topic {
        QString id;    // the heading's id: the anchor to show it
        QString title; // the heading's text
        int level = 2; // 2 for a chapter, 3 for a section of one
        QString text;  // the topic's words as plain text, for the search
    };

    static QStringList searchPath();
    // The help file's path; empty when there is none.
    static QString locate();

    // Reads the file; false when it cannot be read.
    bool load(const QString &path);
    // Reads HTML text (the file's content).
    void parse(const QString &html);
    const QString &html() const { return m_html; }
    const QString &path() const { return m_path; }
    const QList<Topic> &topics() const { return m_topics; }

    // The topics (indices into topics()) that hold words of `query`, ignoring case: those with
    // every word in their title first, then those with every word, then those with the most;
    // every topic, in order, for a query without words.
    QList<int> find(const QString &query) const;

private:
    QString m_path;
    QString m_html;
    QList<Topic> m_topics;
};
