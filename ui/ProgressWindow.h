// A progress window that a form keeps as a component to run a long operation: a text line, a
// percentage bar and a Cancel button, with the owning form disabled while it is up. Values map
// onto the bar through Min and Max and, for an operation in several phases, through NbPhase and
// CurrentPhase. GUI thread only: an operation on a worker thread feeds it from its job's
// signals and polls Cancelled (or the job's own cancel) between items.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;

namespace qm {

// A bar of 0 to 100 % with the position written on it.
class TPercentBar : public QWidget {
    Q_OBJECT

public:
    explicit TPercentBar(QWidget* parent = nullptr);
    void SetValue(int percent);
    int Value() const { return value_; }
    QSize sizeHint() const override { return {217, 12}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int value_ = 0;
};

class TProgressForm : public QDialog {
    Q_OBJECT

public:
    explicit TProgressForm(QWidget* parent = nullptr);

    QLabel* WaitInfo = nullptr;
    QLabel* Image1 = nullptr;
    TPercentBar* WaitProgressBar = nullptr;
    QPushButton* Cancel = nullptr;
    bool CancelledFlag = false;
    std::function<void()> OnCancelClick;

    void CancelClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};

class TProgressFrm : public QObject {
    Q_OBJECT

public:
    explicit TProgressFrm(QObject* owner = nullptr);
    ~TProgressFrm() override;

    void OpenProgress(QWidget* ownerForm);
    void CloseProgress();
    bool Cancelled() const;
    void StepIt() { SetPosition(Position() + 1); }

    QString Title() const;
    void SetTitle(const QString& title);
    QPixmap BitMap() const { return bitMap_; }
    void SetBitMap(const QPixmap& bitMap);
    bool ShowCancelButton() const { return showCancelButton_; }
    void SetShowCancelButton(bool show);
    QString WaitString() const;
    void SetWaitString(const QString& text);

    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);
    // Reads back the value as stored, after phase scaling.
    int Position() const { return position_; }
    void SetPosition(int value);
    int NbPhase() const { return nbPhase_; }
    void SetNbPhase(int value) { nbPhase_ = value > 0 ? value : 1; }
    int CurrentPhase() const { return currentPhase_; }
    void SetCurrentPhase(int value) { currentPhase_ = value; }

    std::function<void()> OnCancel;

    TProgressForm* Form() const { return form_; }

private:
    void UpdateScale();

    TProgressForm* form_;
    QPointer<QWidget> owner_;
    QPixmap bitMap_;
    bool showCancelButton_ = true;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int nbPhase_ = 1;
    int currentPhase_ = 1;
    double scale_ = 1.0;
};

}  // namespace qm
