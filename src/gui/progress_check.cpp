#include "gui/progress_check.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "app/program.h"

namespace gui {

namespace {

// Holds back input to every window but the check's dialog, and requests to
// close any window, while it lives.
class InputToOnly : public QObject {
public:
    InputToOnly() { qApp->installEventFilter(this); }
    ~InputToOnly() override { qApp->removeEventFilter(this); }
    QWidget* open = nullptr;  // the dialog, once it is up

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        const bool input = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
                           event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::KeyPress ||
                           event->type() == QEvent::KeyRelease || event->type() == QEvent::Shortcut ||
                           event->type() == QEvent::Wheel || event->type() == QEvent::ContextMenu ||
                           event->type() == QEvent::Close;
        if (!input) return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (open && widget && widget->window() == open) return false;
        if (event->type() == QEvent::Close) event->ignore();
        return true;
    }
};

// "Checking Backup 2…", how far, and Cancel.
class CheckingDialog : public QDialog {
public:
    CheckingDialog(QWidget* parent, const QString& text, std::atomic<bool>& stop)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          label_(new QLabel(text, this)),
          bar_(new QProgressBar(this)),
          stop_(stop) {
        setObjectName(QStringLiteral("checkProgress"));
        setWindowTitle(QString::fromUtf8(app::kAppTitle));
        setWindowModality(Qt::ApplicationModal);
        setAccessibleDescription(text);
        label_->setObjectName(QStringLiteral("checkText"));
        label_->setTextFormat(Qt::PlainText);
        label_->setBuddy(bar_);
        bar_->setObjectName(QStringLiteral("checkBar"));
        bar_->setAccessibleName(text);
        bar_->setRange(0, 1000);
        auto* cancel = new QPushButton(tr("Cancel"), this);
        cancel->setObjectName(QStringLiteral("cmdCancelCheck"));
        cancel->setAccessibleName(tr("Cancel the check"));
        connect(cancel, &QPushButton::clicked, this, &CheckingDialog::reject);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(cancel);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label_);
        layout->addWidget(bar_);
        layout->addLayout(row);
        setMinimumWidth(360);
        cancel->setFocus();
    }
    void SetProgress(uint64_t done, uint64_t total) {
        bar_->setValue(total == 0 ? 0 : static_cast<int>(1000.0 * static_cast<double>(done) / static_cast<double>(total)));
    }
    // Esc, Cancel and the close box: the check stops at its next batch.
    void reject() override {
        stop_ = true;
        label_->setText(tr("Stopping the check…"));
    }

private:
    QLabel* label_;
    QProgressBar* bar_;
    std::atomic<bool>& stop_;
};

}  // namespace

ports::CheckResult ProgressCheck::Check(const std::string& Path, const ports::CheckProgress& Progress) {
    if (!qApp || QThread::currentThread() != qApp->thread()) return inner_->Check(Path, Progress);
    std::atomic<uint64_t> done{0}, total{0};
    std::atomic<bool> stop{false};
    ports::CheckResult result;

    QEventLoop loop;
    InputToOnly filter;
    std::unique_ptr<CheckingDialog> dialog;
    QTimer refresh;
    refresh.setInterval(100);
    QObject::connect(&refresh, &QTimer::timeout, [&] { dialog->SetProgress(done.load(), total.load()); });
    QTimer appear;
    appear.setSingleShot(true);
    QObject::connect(&appear, &QTimer::timeout, [&] {
        const QString name = nameOf_ ? nameOf_(Path) : QString::fromStdString(Path);
        dialog = std::make_unique<CheckingDialog>(window_, QObject::tr("Checking %1…").arg(name), stop);
        filter.open = dialog.get();
        dialog->SetProgress(done.load(), total.load());
        dialog->show();
        refresh.start();
    });
    appear.start(kDialogAfterMs);
    {
        std::jthread worker([&] {
            result = inner_->Check(Path, [&](uint64_t d, uint64_t t) {
                done = d;
                total = t;
                if (Progress && !Progress(d, t)) return false;
                return !stop.load();
            });
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
    }
    refresh.stop();
    appear.stop();
    dialog.reset();  // gone before the command says anything more
    return result;
}

}  // namespace gui
