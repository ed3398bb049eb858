#include "forms/Fleet/fleetpreview.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "forms/Fleet/fleetparts.h"

FleetPreview::FleetPreview(QWidget* parent) : QDialog(parent) {
    setObjectName("FleetPreview");
    setWindowTitle("Что будет записано");
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel;
    summary_->setObjectName("FleetPreviewSummary");
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    text_ = new QPlainTextEdit;
    text_->setObjectName("FleetPreviewText");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(text_, 1);
    write_ = fleetparts::footButtons(this, layout, "Записать", "FleetPreviewWrite",
                                     "FleetPreviewCancel");
    resize(640, 420);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, [this] {
        const QString keyword = property("helpKeyword").toString();
        emit helpRequested(keyword.isEmpty() ? QString("FLEET") : keyword);
    });
}

void FleetPreview::show(const QString& summary, const QString& text, bool writable,
                        const QString& accept) {
    summary_->setText(summary);
    write_->setText(accept);
    text_->setPlainText(text);
    write_->setEnabled(writable);
    write_->setDefault(writable);
}

QString FleetPreview::text() const {
    return text_->toPlainText();
}
