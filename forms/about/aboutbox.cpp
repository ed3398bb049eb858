#include "forms/about/aboutbox.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "forms/labels.h"
#include "forms/qtext.h"
#include "help/Cmsdnhelp/cmsdnhelp.h"
#include "model/product.h"

// The logo is a resource of the windows library, which is linked statically.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    initResources();
    setObjectName("AboutBox");
    setWindowTitle("О программе");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    makeNotices(Panel1);

    auto* OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setFixedSize(92, 30);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);  // Esc closes as well

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    FormCreate();
}

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// A label that opens an address: its hint, also shown as tooltip, and a hand cursor.
void makeLink(QLabel* l, const QString& address) {
    l->setProperty("hint", address);
    l->setToolTip(address);
    l->setCursor(Qt::PointingHandCursor);
}

}  // namespace

// The logo, the product's name, version and maker, and the three ways to reach the maker.
void TAboutBox::makeNotices(QWidget* Panel1) {
    const QString site = qs(orbex::siteAddress());
    const QString mail = "mailto:" + qs(orbex::kSupportEmail);
    ProgramIcon = makeLabel(Panel1, "ProgramIcon", {});
    ProgramIcon->setPixmap(QPixmap(":/orbcfg/logo.png"));
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setFixedSize(103, 70);
    makeLink(ProgramIcon, site);
    QLabel* ProductName = makeLabel(Panel1, "ProductName", qs(orbex::kTitle));
    QLabel* Version = makeLabel(Panel1, "Version", "Версия: " + qs(orbex::kVersion));
    QLabel* Copyright = makeLabel(Panel1, "Copyright", qs(orbex::kMakerNotice));
    QLabel* Comments = makeLabel(Panel1, "Comments", "WEB: ");
    Label35 = makeLabel(Panel1, "Label35", site);
    QLabel* Label1 = makeLabel(Panel1, "Label1", "Email:");
    Label2 = makeLabel(Panel1, "Label2", qs(orbex::kSupportEmail));
    QLabel* Label3 = makeLabel(Panel1, "Label3", "ICQ:");
    QLabel* Label4 = makeLabel(Panel1, "Label4", qs(orbex::kSupportContact));
    for (QLabel* l : {Comments, Label1, Label3}) l->setWordWrap(true);
    setBlue(Label35);
    setBlue(Label2);
    makeLink(Label35, site);
    makeLink(Label2, mail);
    Label4->setProperty("hint", mail);  // kept, though the number opens nothing
    Label4->setToolTip(mail);

    auto* grid = new QGridLayout(Panel1);
    grid->addWidget(ProgramIcon, 0, 0, 2, 1);
    grid->addWidget(ProductName, 0, 1);
    grid->addWidget(Version, 1, 1);
    grid->addWidget(Copyright, 2, 0, 1, 2);
    const std::pair<QLabel*, QLabel*> rows[] = {
        {Comments, Label35}, {Label1, Label2}, {Label3, Label4}};
    int r = 3;
    for (const auto& [caption, value] : rows) {
        grid->addWidget(caption, r, 0);
        grid->addWidget(value, r++, 1);
    }
    grid->setColumnStretch(1, 1);
}

void TAboutBox::FormCreate() {
    for (QLabel* l : findChildren<QLabel*>())
        if (isBlue(l)) l->installEventFilter(this);
    ProgramIcon->installEventFilter(this);
}

void TAboutBox::Label35Click(QLabel* clicked) {
    TCMSDNHelp::openAddress(clicked->property("hint").toString());
}

void TAboutBox::ProgramIconClick() {
    TCMSDNHelp::openAddress(ProgramIcon->property("hint").toString());
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    auto* l = static_cast<QLabel*>(watched);
    const QEvent::Type type = event->type();
    if (watched == ProgramIcon) {
        if (type == QEvent::MouseButtonRelease) ProgramIconClick();
    } else if (type == QEvent::Enter) {
        ment(l);
    } else if (type == QEvent::Leave) {
        mleave(l);
    } else if (type == QEvent::MouseButtonRelease && (l == Label35 || l == Label2)) {
        Label35Click(l);
    }
    return QDialog::eventFilter(watched, event);
}
