#include "gui/progress_files.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "app/program.h"
#include "gui/input_blocker.h"

namespace gui {

namespace {

// The dialog of a long copy: what is copied, and how far it has come. No
// button; Esc and the close box do nothing, the copy ends it.
class CopyDialog : public QDialog {
public:
    // text: what the command does; step, when not empty: which of its
    // copies runs.
    CopyDialog(QWidget* parent, const QString& text, const QString& step)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
          bar_(new QProgressBar(this)) {
        setObjectName(QStringLiteral("copyProgress"));
        setWindowTitle(QString::fromUtf8(app::kAppTitle));
        setWindowModality(Qt::ApplicationModal);
        const QString whole = step.isEmpty() ? text : text + QLatin1Char(' ') + step;
        setAccessibleDescription(whole);

        auto* label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("copyText"));
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(bar_);
        bar_->setObjectName(QStringLiteral("copyBar"));
        bar_->setAccessibleName(whole);
        bar_->setRange(0, 100);
        bar_->setValue(0);

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        if (!step.isEmpty()) {
            auto* stepLabel = new QLabel(step, this);
            stepLabel->setObjectName(QStringLiteral("copyStep"));
            stepLabel->setTextFormat(Qt::PlainText);
            layout->addWidget(stepLabel);
        }
        layout->addWidget(bar_);
        setMinimumWidth(360);
    }

    void SetProgress(uint64_t done, uint64_t total) {
        bar_->setValue(total == 0 ? 100 : static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total)));
    }

protected:
    void reject() override {}
    void closeEvent(QCloseEvent* event) override { event->ignore(); }

private:
    QProgressBar* bar_;
};

}  // namespace

ProgressFiles::Activity::Activity(ProgressFiles& files, QWidget* window, QString text)
    : files_(files), outer_(files.activity_), window_(window), text_(std::move(text)) {
    files_.activity_ = this;
}

ProgressFiles::Activity::~Activity() { files_.activity_ = outer_; }

bool ProgressFiles::OnWorker() const {
    // Only the window's thread, inside a command, has a window to keep alive.
    const bool onWindowThread = qApp && QThread::currentThread() == qApp->thread();
    return activity_ && !copying_ && onWindowThread;
}

void ProgressFiles::FileCopy(const std::string& Source, const std::string& Destination,
                             const ports::CopyProgress& Progress) {
    if (!OnWorker()) {
        inner_.FileCopy(Source, Destination, Progress);
        return;
    }
    const QScopedValueRollback<bool> copying(copying_, true);
    const QString step = activity_->copiedAside_ ? QObject::tr("Writing the new data…") : QString();
    const bool atOnce = std::exchange(activity_->asideShown_, false);
    CopyOnWorker(*activity_, step, atOnce,
                 [&](const ports::CopyProgress& told) { inner_.FileCopy(Source, Destination, told); }, Progress);
}

void ProgressFiles::CopyAside(const std::string& Path, const std::string& NewPath,
                              const ports::CopyProgress& Progress) {
    if (!OnWorker()) {
        inner_.CopyAside(Path, NewPath, Progress);
        return;
    }
    const QScopedValueRollback<bool> copying(copying_, true);
    const std::string name = NewPath.substr(NewPath.find_last_of("\\/") + 1);
    const QString step = QObject::tr("Keeping a copy of the current data as %1…").arg(QString::fromStdString(name));
    Activity& activity = *activity_;
    activity.asideShown_ = CopyOnWorker(
        activity, step, false, [&](const ports::CopyProgress& told) { inner_.CopyAside(Path, NewPath, told); },
        Progress);
    activity.copiedAside_ = true;
}

bool ProgressFiles::CopyOnWorker(const Activity& activity, const QString& step, bool atOnce,
                                 const std::function<void(const ports::CopyProgress&)>& copy,
                                 const ports::CopyProgress& Progress) {
    // The worker only stores how far it has come; the window's thread reads
    // it when it draws, so reporting costs the copy two relaxed stores.
    std::atomic<uint64_t> copied{0};
    std::atomic<uint64_t> total{0};
    std::exception_ptr failure;

    QEventLoop loop;
    InputBlocker blocker;
    std::unique_ptr<CopyDialog> dialog;
    QTimer refresh;
    refresh.setInterval(100);
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        dialog->SetProgress(copied.load(std::memory_order_relaxed), total.load(std::memory_order_relaxed));
    });
    QTimer appear;
    appear.setSingleShot(true);
    QObject::connect(&appear, &QTimer::timeout, [&] {
        dialog = std::make_unique<CopyDialog>(activity.window_, activity.text_, step);
        dialog->SetProgress(copied.load(std::memory_order_relaxed), total.load(std::memory_order_relaxed));
        dialog->show();
        refresh.start();
    });
    appear.start(atOnce ? 0 : kDialogAfterMs);

    {
        std::jthread worker([&] {
            try {
                copy([&](uint64_t done, uint64_t all) {
                    total.store(all, std::memory_order_relaxed);
                    copied.store(done, std::memory_order_relaxed);
                    if (Progress) Progress(done, all);
                });
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        // Returns when the worker is done; also at once when the application
        // is quitting, in which case leaving the block waits for the copy
        // without painting rather than abandoning it halfway.
        loop.exec();
    }
    refresh.stop();
    appear.stop();
    const bool shown = dialog != nullptr;
    dialog.reset();  // closed before the command says anything more
    if (failure) std::rethrow_exception(failure);
    return shown;
}

}  // namespace gui
