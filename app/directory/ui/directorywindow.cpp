// The directory window.
#include "directorywindow.h"

#include "directory/directorymodel.h"
#include "newpaldialog.h"
#include "redirectdialog.h"
#include "widgets/pictures.h"
#include "widgets/twips.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
constexpr int KeyRole = Qt::UserRole;

QTreeWidget *list(QWidget *parent, const char *name, const QStringList &columns)
{
    auto *tree = new QTreeWidget(parent);
    tree->setObjectName(QLatin1String(name));
    tree->setHeaderLabels(columns);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    return tree;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit *addressBox(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // Addresses travel as protocol fields, so ";" is refused at the keyboard.
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^;]*")), edit));
    return edit;
}
} // namespace

DirectoryWindow::DirectoryWindow(DirectoryModel &model, QWidget *parent)
    : ToolWindow(parent, Qt::Window), m_model(model)
{
    setObjectName(QStringLiteral("frmDirectory"));
    setWindowTitle(QStringLiteral("Online Directories"));
    setWindowIcon(Pictures::appIcon());

    auto *serverLabel = new QLabel(QStringLiteral("Directory Server:"), this);
    m_server = new QComboBox(this);
    m_server->setObjectName(QStringLiteral("cboDirectory"));
    m_server->setEditable(true);
    m_server->setInsertPolicy(QComboBox::NoInsert);
    m_server->setEditText(m_model.serverText());
    m_server->lineEdit()->setAccessibleName(QStringLiteral("Directory Server"));
    m_server->lineEdit()->installEventFilter(this);
    serverLabel->setBuddy(m_server);
    auto *top = new QHBoxLayout;
    top->addWidget(serverLabel);
    top->addWidget(m_server, 1);

    auto *addressLabel = new QLabel(QStringLiteral("Email or IP Address:"), this);
    addressLabel->setObjectName(QStringLiteral("lblAddress"));
    m_address = addressBox(this, "txtConnectID");
    m_address2 = addressBox(this, "txtConnect");
    m_address2->hide(); // a second box with the same keys, kept for the window's older layout
    addressLabel->setBuddy(m_address);
    for (QLineEdit *box : {m_address, m_address2})
        box->installEventFilter(this);
    m_call = button(this, "cmdCall", QStringLiteral("Call"));
    m_sendMessage = button(this, "cmdSendMsg", QStringLiteral("Send Message"));
    m_call->setEnabled(false);
    m_sendMessage->setEnabled(false);
    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(m_address, 1);
    addressRow->addWidget(m_call);
    addressRow->addWidget(m_sendMessage);

    auto *buttons = new QHBoxLayout;
    QPushButton *refresh = button(this, "cmdRefresh", QStringLiteral("Refresh"));
    QPushButton *newPal = button(this, "cmdNewPal", QStringLiteral("New Pal"));
    QPushButton *deletePal = button(this, "cmdDeletePal", QStringLiteral("Delete Pal"));
    QPushButton *close = button(this, "cmdClose", QStringLiteral("Close"));
    for (QPushButton *b : {refresh, newPal, deletePal})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("barStatus"));
    status->setSizeGripEnabled(true);
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = new QLabel(status);
        m_panels[i]->setObjectName(QStringLiteral("barStatus_%1").arg(i + 1));
        status->addWidget(m_panels[i], i == 1 ? 1 : 0);
    }
    m_panels[0]->setPixmap(Pictures::directoryIcon(1));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->addLayout(top);
    layout->addWidget(buildLists(), 1);
    layout->addLayout(addressRow);
    layout->addLayout(buttons);
    layout->addWidget(status);

    const QSize size = m_model.sizeTwips();
    resize(Twips::toPixelsX(size.width()), Twips::toPixelsY(size.height()));
    setMinimumSize(Twips::toPixelsX(DirectoryModel::MinimumWidthTwips),
                   Twips::toPixelsY(DirectoryModel::MinimumHeightTwips));

    connect(m_server, &QComboBox::activated, this,
            [this] { m_model.chooseServer(m_server->currentText()); });
    connect(m_call, &QPushButton::clicked, this, &DirectoryWindow::callTyped);
    connect(m_sendMessage, &QPushButton::clicked, this,
            [this] { m_model.sendMessage(selectedKey(m_global), selectedKey(m_online)); });
    connect(refresh, &QPushButton::clicked, &m_model, &DirectoryModel::refresh);
    connect(newPal, &QPushButton::clicked, this, &DirectoryWindow::newPal);
    connect(deletePal, &QPushButton::clicked, this,
            [this] { m_model.deletePal(selectedKey(m_online), selectedKey(m_offline)); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    for (QLineEdit *box : {m_address, m_address2})
        connect(box, &QLineEdit::textChanged, this, &DirectoryWindow::enableCall);

    connect(&m_model, &DirectoryModel::usersChanged, this, &DirectoryWindow::showUsers);
    connect(&m_model, &DirectoryModel::palsChanged, this, &DirectoryWindow::showPals);
    connect(&m_model, &DirectoryModel::statusChanged, this, &DirectoryWindow::showStatus);
    connect(&m_model, &DirectoryModel::serverChoicesChanged, this,
            &DirectoryWindow::showServerChoices);
    connect(&m_model, &DirectoryModel::serverTextChanged, m_server, &QComboBox::setEditText);
    connect(&m_model, &DirectoryModel::redirectOffered, this, &DirectoryWindow::offerRedirect);
    showUsers();
    showPals();
    showStatus();
}

QWidget *DirectoryWindow::buildLists()
{
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("splMain"));
    auto *left = new QWidget(split);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto *global = new QLabel(QStringLiteral("Global Directory"), left);
    global->setObjectName(QStringLiteral("lblGlobal"));
    m_global =
        list(left, "lstGlobal",
             {QStringLiteral("Name"), QStringLiteral("Location"), QStringLiteral("Comment")});
    m_global->setIconSize(QSize(20, 16));
    m_global->header()->setSectionsClickable(true);
    // Room for a whole first and last name beside the icon, and for a town; the comment takes
    // the rest. The user can still drag the column edges.
    const int letter = m_global->fontMetrics().averageCharWidth();
    m_global->header()->resizeSection(0, m_global->iconSize().width() + 20 * letter);
    m_global->header()->resizeSection(1, 14 * letter);
    global->setBuddy(m_global);
    m_global->setAccessibleName(QStringLiteral("Global Directory"));
    m_global->setAccessibleDescription(QStringLiteral("Enter calls the chosen person"));
    leftLayout->addWidget(global);
    leftLayout->addWidget(m_global, 1);

    auto *right = new QWidget(split);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto *people = new QLabel(QStringLiteral("OVELA Pals"), right);
    people->setObjectName(QStringLiteral("lblPeople"));
    m_online = list(right, "lstOnline", {QStringLiteral("Online")});
    m_offline = list(right, "lstOffline", {QStringLiteral("Offline")});
    people->setBuddy(m_online);
    m_online->setAccessibleName(QStringLiteral("Pals online"));
    m_online->setAccessibleDescription(QStringLiteral("Enter calls the chosen pal"));
    m_offline->setAccessibleName(QStringLiteral("Pals offline"));
    // Enter on a person calls, as a double-click does.
    m_global->installEventFilter(this);
    m_online->installEventFilter(this);
    rightLayout->addWidget(people);
    rightLayout->addWidget(m_online, 1);
    rightLayout->addWidget(m_offline, 1);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    // A click on a column sorts by it, ascending every time.
    connect(m_global->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_global->header()->setSortIndicatorShown(true);
        m_global->sortItems(column, Qt::AscendingOrder);
    });
    connect(m_global, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        const QString address = m_model.selectUser(item->data(0, KeyRole).toString());
        if (!m_model.callEnabled()) return;
        m_address->setText(address);
        m_call->setEnabled(true);
        m_sendMessage->setEnabled(true);
    });
    connect(m_global, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { m_model.callUser(item->data(0, KeyRole).toString()); });
    connect(m_online, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        m_address->setText(m_model.selectOnlinePal(item->data(0, KeyRole).toString()));
        m_call->setEnabled(true);
        m_sendMessage->setEnabled(true);
        m_offline->clearSelection();
    });
    connect(m_online, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { m_model.callPal(item->data(0, KeyRole).toString()); });
    // Offline pals cannot be called.
    connect(m_offline, &QTreeWidget::itemClicked, m_online, &QTreeWidget::clearSelection);
    return split;
}

QString DirectoryWindow::selectedKey(const QTreeWidget *list)
{
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(0, KeyRole).toString();
}

void DirectoryWindow::showUsers()
{
    m_global->clear();
    QList<QTreeWidgetItem *> items;
    for (const DirectoryModel::Row &row : m_model.users()) {
        auto *item = new QTreeWidgetItem({row.name, row.location, row.comment});
        item->setData(0, KeyRole, row.key);
        item->setIcon(0, Pictures::directoryIcon(row.icon));
        items.append(item);
    }
    m_global->addTopLevelItems(items);
    m_global->clearSelection();
    // A list from a connection since lost is shown greyed until a new one comes.
    m_global->setEnabled(!m_model.listStale());
}

void DirectoryWindow::showPals()
{
    for (const auto &[tree, rows] :
         {std::pair{m_online, m_model.onlinePals()}, std::pair{m_offline, m_model.offlinePals()}}) {
        tree->clear();
        for (const DirectoryModel::Row &row : rows) {
            auto *item = new QTreeWidgetItem(tree, {row.name});
            item->setData(0, KeyRole, row.key);
        }
    }
}

void DirectoryWindow::showStatus()
{
    m_panels[1]->setText(m_model.status());
    m_panels[2]->setText(m_model.onlineCount());
    m_panels[3]->setText(m_model.listedCount());
}

void DirectoryWindow::showServerChoices()
{
    const QString typed = m_server->currentText();
    m_server->clear();
    m_server->addItems(m_model.serverChoices());
    m_server->setEditText(typed);
}

void DirectoryWindow::offerRedirect(const QString &address, const QString &description)
{
    auto *prompt = new RedirectDialog(address, description);
    connect(prompt, &RedirectDialog::accepted, &m_model, &DirectoryModel::acceptRedirect);
    prompt->show();
}

void DirectoryWindow::enableCall()
{
    m_call->setEnabled(true);
    m_model.enableCall();
}

void DirectoryWindow::callTyped()
{
    m_model.call(m_address->text(), selectedKey(m_global));
}

void DirectoryWindow::newPal()
{
    auto *window = new NewPalDialog(m_model);
    window->show();
}

bool DirectoryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress) return ToolWindow::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == m_server->lineEdit()) {
        // Enter chooses the typed server and goes no further.
        if (!enter) return false;
        m_model.chooseServer(m_server->currentText());
        return true;
    }
    for (QTreeWidget *list : {m_global, m_online}) {
        if (watched != list || !enter) continue;
        QTreeWidgetItem *item = list->currentItem();
        if (!item) return false;
        emit list->itemDoubleClicked(item, 0);
        return true;
    }
    if (watched == m_address || watched == m_address2) {
        m_global->clearSelection();
        m_online->clearSelection();
        if (!enter) return false;
        if (!m_address->text().isEmpty()) m_call->click();
        return true;
    }
    return ToolWindow::eventFilter(watched, event);
}

void DirectoryWindow::changeEvent(QEvent *event)
{
    ToolWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) m_model.activated();
}

void DirectoryWindow::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_model.setVisible(true);
}

void DirectoryWindow::hideEvent(QHideEvent *event)
{
    ToolWindow::hideEvent(event);
    m_model.setVisible(false);
}

void DirectoryWindow::resizeEvent(QResizeEvent *event)
{
    ToolWindow::resizeEvent(event);
    if (isMinimized()) return;
    m_model.resized(Twips::fromPixelsX(width()), Twips::fromPixelsY(height()));
}
