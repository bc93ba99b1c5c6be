#include "ui/AboutWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/config.h"
#include "reports/HtmlReport.h"
#include "ui/Icons.h"

namespace qm {

TF_About::TF_About(QWidget* parent) : QDialog(parent) {
    setObjectName("F_About");
    setWindowTitle("About");

    auto* picture = new QLabel(this);
    picture->setPixmap(ApplicationIcon().pixmap(64, 64));
    auto* title = new QLabel(QString("Quillmark version %1 - 06/03/2000").arg(kProgramVersion), this);
    title->setObjectName("Title");
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    title->setFont(big);
    auto* motto = new QLabel("Dezerivor Izo Rodavuv", this);
    auto* terms = new QLabel("Free software: you may copy and share it, without warranty of any kind.", this);
    terms->setWordWrap(true);
    auto* authors = new QLabel("Written by the Quillmark developers.", this);
    auto link = [this](const QString& url, const QString& text) {
        auto* label = new QLabel(QString("<a href=\"%1\">%2</a>").arg(url, text.toHtmlEscaped()), this);
        label->setTextFormat(Qt::RichText);
        label->setOpenExternalLinks(true);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        return label;
    };
    auto* mail = link(QString("mailto:") + kQuillmarkMail, kQuillmarkMail);
    mail->setObjectName("Mail");
    auto* home = link(kQuillmarkHomePage, kQuillmarkHomePage);
    home->setObjectName("HomePage");

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::AcceptRole);
    close->setObjectName("Close");
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(title), static_cast<QWidget*>(motto), static_cast<QWidget*>(terms),
                       static_cast<QWidget*>(authors), static_cast<QWidget*>(mail), static_cast<QWidget*>(home)}) {
        text->addWidget(w);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(text);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qm
