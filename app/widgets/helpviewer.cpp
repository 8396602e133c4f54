// The help viewer.
#include "helpviewer.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace
{
constexpr int TopicRole = Qt::UserRole;
}

HelpViewer::HelpViewer(const HelpFile &file, QWidget *parent)
    : QWidget(parent, Qt::Window), m_file(file)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("OVELA Help"));

    auto button = [this](const char *name, const QString &text, QStyle::StandardPixmap icon) {
        auto *b = new QPushButton(style()->standardIcon(icon), text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    QPushButton *contents =
        button("cmdContents", QStringLiteral("&Contents"), QStyle::SP_DirHomeIcon);
    QPushButton *back = button("cmdBack", QStringLiteral("&Back"), QStyle::SP_ArrowBack);
    QPushButton *forward =
        button("cmdForward", QStringLiteral("F&orward"), QStyle::SP_ArrowForward);
    back->setEnabled(false);
    forward->setEnabled(false);

    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("txtFind"));
    m_find->setPlaceholderText(QStringLiteral("Type words to find a topic"));
    m_find->setClearButtonEnabled(true);
    m_topics = new QTreeWidget(this);
    m_topics->setObjectName(QStringLiteral("lstTopics"));
    m_topics->setHeaderHidden(true);
    m_topics->setAccessibleName(QStringLiteral("Topics"));
    m_topics->setUniformRowHeights(true);
    m_text = new QTextBrowser(this);
    m_text->setObjectName(QStringLiteral("txtHelp"));
    m_text->setOpenExternalLinks(true);
    m_text->setAccessibleName(QStringLiteral("Help text"));
    showTopic(QStringLiteral("contents"));
    m_text->clearHistory();

    auto *side = new QWidget(this);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    auto *findLabel = new QLabel(QStringLiteral("&Find a topic:"), side);
    findLabel->setBuddy(m_find);
    sideLayout->addWidget(findLabel);
    sideLayout->addWidget(m_find);
    sideLayout->addWidget(m_topics, 1);
    auto *split = new QSplitter(this);
    split->addWidget(side);
    split->addWidget(m_text);
    split->setStretchFactor(1, 1);
    split->setSizes({270, 610});

    auto *bar = new QHBoxLayout;
    bar->addWidget(contents);
    bar->addWidget(back);
    bar->addWidget(forward);
    bar->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);

    connect(contents, &QPushButton::clicked, this, &HelpViewer::showContents);
    connect(back, &QPushButton::clicked, m_text, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_text, &QTextBrowser::forward);
    connect(m_text, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(m_text, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(m_find, &QLineEdit::textChanged, this, &HelpViewer::listTopics);
    // Enter in the finder opens its best topic.
    connect(m_find, &QLineEdit::returnPressed, this, [this] {
        if (QTreeWidgetItem *first = m_topics->topLevelItem(0))
            showTopic(first->data(0, TopicRole).toString());
    });
    connect(m_topics, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { showTopic(item->data(0, TopicRole).toString()); });
    connect(m_topics, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { showTopic(item->data(0, TopicRole).toString()); });
    listTopics({});
    resize(900, 640);
}

void HelpViewer::listTopics(const QString &query)
{
    m_topics->clear();
    const QList<HelpFile::Topic> &topics = m_file.topics();
    const bool all = query.trimmed().isEmpty();
    QTreeWidgetItem *chapter = nullptr;
    for (const int i : m_file.find(query)) {
        const HelpFile::Topic &t = topics[i];
        // Unfiltered, sections sit under their chapters; found topics form one ranked list.
        QTreeWidgetItem *item = all && t.level == 3 && chapter ? new QTreeWidgetItem(chapter)
                                                               : new QTreeWidgetItem(m_topics);
        if (all && t.level == 2) chapter = item;
        item->setText(0, t.title);
        item->setData(0, TopicRole, t.id);
        item->setToolTip(0, t.title);
    }
    m_topics->setRootIsDecorated(all);
    m_topics->expandAll();
}

void HelpViewer::showContents()
{
    m_find->clear();
    showTopic(QStringLiteral("contents"));
    m_text->setFocus();
}

void HelpViewer::showTopicFinder()
{
    m_find->setFocus();
    m_find->selectAll();
}

void HelpViewer::showTopic(const QString &id)
{
    QUrl url = QUrl::fromLocalFile(m_file.path());
    url.setFragment(id);
    // The topic already shown is only scrolled to again, not added to the history.
    if (m_text->source() == url)
        m_text->scrollToAnchor(id);
    else
        m_text->setSource(url, QTextDocument::HtmlResource);
}
