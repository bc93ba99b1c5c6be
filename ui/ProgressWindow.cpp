#include "ui/ProgressWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <cmath>

#include "ui/Icons.h"
#include "ui/WaitWindow.h"

namespace qm {

TPercentBar::TPercentBar(QWidget* parent) : QWidget(parent) {
    setMinimumSize(217, 12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TPercentBar::SetValue(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent != value_) {
        value_ = percent;
        update();
    }
}

void TPercentBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, palette().button());
    const int filled = area.width() * value_ / 100;
    if (filled > 0) {
        // Green at the start, yellow halfway, orange at the end of the whole bar.
        QLinearGradient gradient(area.topLeft(), area.topRight());
        gradient.setColorAt(0.0, QColor(0x80, 0xFF, 0x80));
        gradient.setColorAt(0.5, QColor(0xFF, 0xFF, 0x80));
        gradient.setColorAt(1.0, QColor(0xFF, 0x80, 0x40));
        painter.fillRect(QRect(area.left(), area.top(), filled, area.height()), gradient);
    }
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    // Black on the light fill and on the button face alike.
    painter.setPen(value_ > 0 ? QColor(Qt::black) : palette().color(QPalette::ButtonText));
    painter.drawText(area, Qt::AlignCenter, QString::number(value_) + "%");
}

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("ProgressForm");
    setWindowTitle("Please wait...");
    setCursor(Qt::WaitCursor);
    WaitInfo = new QLabel("Processing...", this);
    WaitInfo->setObjectName("WaitInfo");
    WaitInfo->setTextFormat(Qt::PlainText);
    WaitInfo->setFixedWidth(217);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setFixedSize(32, 32);
    WaitProgressBar = new TPercentBar(this);
    WaitProgressBar->setObjectName("WaitProgressBar");
    Cancel = new QPushButton("Cancel", this);
    Cancel->setObjectName("Cancel");
    Cancel->setToolTip("Cancel operation");
    Cancel->setCursor(Qt::ArrowCursor);
    Cancel->setAutoDefault(false);
    connect(Cancel, &QPushButton::clicked, this, &TProgressForm::CancelClick);

    ArrangeWaitControls(this, WaitInfo, Image1, WaitProgressBar, Cancel);
}

void TProgressForm::CancelClick() {
    if (!Cancel->isEnabled()) {
        return;
    }
    CancelledFlag = true;
    Cancel->setEnabled(false);
    if (OnCancelClick) {
        OnCancelClick();
    }
}

void TProgressForm::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TProgressForm::reject() {
    if (!Cancel->isHidden()) {
        CancelClick();
    }
}

TProgressFrm::TProgressFrm(QObject* owner) : QObject(owner), form_(new TProgressForm) {
    bitMap_ = ApplicationIcon().pixmap(32, 32);
    form_->Image1->setPixmap(bitMap_);
    form_->OnCancelClick = [this] {
        if (OnCancel) {
            OnCancel();
        }
    };
}

TProgressFrm::~TProgressFrm() {
    if (owner_) {
        owner_->setEnabled(true);
    }
    delete form_;
}

void TProgressFrm::OpenProgress(QWidget* ownerForm) {
    owner_ = ownerForm;
    if (owner_) {
        owner_->setEnabled(false);
    }
    form_->setEnabled(true);
    form_->CancelledFlag = false;
    form_->Cancel->setEnabled(true);
    form_->show();
    CentreOnScreen(form_, ownerForm);
    form_->raise();
}

void TProgressFrm::CloseProgress() {
    if (owner_) {
        owner_->setEnabled(true);
    }
    form_->hide();
    SetMin(0);
    SetMax(100);
    SetPosition(0);
}

bool TProgressFrm::Cancelled() const {
    return form_->CancelledFlag;
}

QString TProgressFrm::Title() const {
    return form_->windowTitle();
}

void TProgressFrm::SetTitle(const QString& title) {
    form_->setWindowTitle(title);
}

void TProgressFrm::SetBitMap(const QPixmap& bitMap) {
    bitMap_ = bitMap;
    form_->Image1->setPixmap(bitMap_);
}

void TProgressFrm::SetShowCancelButton(bool show) {
    showCancelButton_ = show;
    form_->Cancel->setEnabled(show);
    form_->Cancel->setVisible(show);
}

QString TProgressFrm::WaitString() const {
    return form_->WaitInfo->text();
}

void TProgressFrm::SetWaitString(const QString& text) {
    form_->WaitInfo->setText(text);
}

void TProgressFrm::SetMin(int value) {
    min_ = value;
    UpdateScale();
}

void TProgressFrm::SetMax(int value) {
    max_ = value;
    UpdateScale();
}

void TProgressFrm::UpdateScale() {
    scale_ = max_ > min_ ? 100.0 / (static_cast<double>(max_) - min_) : 0.0;
}

void TProgressFrm::SetPosition(int value) {
    position_ = ((currentPhase_ - 1) * 100 + value) / nbPhase_;
    const double bar = (static_cast<double>(position_) - min_) * scale_;
    form_->WaitProgressBar->SetValue(static_cast<int>(std::lround(bar)));
}

}  // namespace qm
