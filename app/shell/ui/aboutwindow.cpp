// The About box.
#include "aboutwindow.h"

#include "shell/optionsmodel.h"
#include "version.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutWindow::AboutWindow(OptionsModel *options, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About OVELA"));
    auto *picture = new QLabel(this);
    picture->setPixmap(Pictures::logo(240));
    picture->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(QStringLiteral("Version ") + ProgramVersion, this);
    version->setObjectName(QStringLiteral("lblVersion"));
    auto *product = new QLabel(QStringLiteral("OVELA for Windows 95/98/NT"), this);
    product->setObjectName(QStringLiteral("lblProduct"));
    auto *support = new QLabel(QStringLiteral("Technical support can be reached by sending E-Mail "
                                              "to support@ovela.example"),
                               this);
    support->setObjectName(QStringLiteral("lblSupport"));
    support->setWordWrap(true);
    auto *router = new QLabel(this);
    router->setObjectName(QStringLiteral("lblRouter"));
    router->setWordWrap(true);
    router->setTextFormat(Qt::PlainText); // it holds what a router said
    router->setVisible(options != nullptr);
    if (options) {
        const auto show = [router, options] { router->setText(options->routerStatus()); };
        show();
        connect(options, &OptionsModel::routerStatusChanged, router, show);
    }
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto *layout = new QVBoxLayout(this);
    for (QLabel *l : {picture, version, product, support, router}) {
        l->setAlignment(Qt::AlignCenter);
        layout->addWidget(l);
    }
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    setFixedWidth(340);
    centreOnScreen(this);
}
