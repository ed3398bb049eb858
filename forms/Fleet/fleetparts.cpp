#include "forms/Fleet/fleetparts.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

#include "forms/Conf/pages.h"
#include "forms/qtext.h"

using namespace orbex;

namespace fleetparts {

QPushButton* footButtons(QDialog* dialog, QBoxLayout* layout, const QString& caption,
                         const char* acceptName, const char* cancelName) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* accept = new QPushButton(caption);
    accept->setObjectName(acceptName);
    QObject::connect(accept, &QPushButton::clicked, dialog, &QDialog::accept);
    auto* cancel = new QPushButton("Отмена");
    cancel->setObjectName(cancelName);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    buttons->addWidget(accept);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    return accept;
}

std::vector<Choice> choices() {
    std::vector<Choice> out;
    for (const PageInfo& page : pages())
        for (Id id : controlOrder()) {
            const Param& p = param(id);
            if (p.page != page.page || p.has(Hidden)) continue;
            QString caption = qs(p.caption).trimmed();
            if (caption.endsWith(':')) caption.chop(1);
            out.push_back({page.caption, id, std::move(caption)});
        }
    return out;
}

}  // namespace fleetparts
