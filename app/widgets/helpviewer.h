// The help viewer: the help file beside its list of topics, with a box that finds topics by the
// words they hold. Help > Contents opens it at the contents page, Help > Help Topics at the topic
// finder.
#pragma once

#include "platform/helpfile.h"

#include <QWidget>

class QLineEdit;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class HelpViewer : public QWidget
{
    Q_OBJECT
public:
    explicit HelpViewer(const HelpFile &file, QWidget *parent = nullptr);

    // The contents page, every topic listed.
    void showContents();
    // The topic finder, ready for typing.
    void showTopicFinder();
    // A topic by its id.
    void showTopic(const QString &id);

private:
    void listTopics(const QString &query);

    HelpFile m_file;
    QLineEdit *m_find;
    QTreeWidget *m_topics;
    QTextBrowser *m_text;
};
