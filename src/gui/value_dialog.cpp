#include "gui/value_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program.h"
#include "records/render.h"

namespace gui {

namespace {

// The text with its line breaks kept and everything else that acts on the
// display escaped, line by line.
QString Whole(const std::string& text) {
    QString out;
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        out += QString::fromStdString(records::Escaped(text.substr(from, at - from), false)) + QLatin1Char('\n');
    return out + QString::fromStdString(records::Escaped(text.substr(from), false));
}

}  // namespace

ValueDialog::ValueDialog(const records::Cell& value, const QString& name,
                         std::function<QString(QWidget*, const QString&)> saveFileName, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("value"));
    setWindowTitle(tr("Value - %1").arg(name));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("C&lose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (const auto* bytes = std::get_if<records::Bytes>(&value)) {
        auto* size = new QLabel(tr("A binary value of %1 bytes.").arg(bytes->data.size()), this);
        size->setObjectName(QStringLiteral("lblSize"));
        layout->addWidget(size);
        save_ = buttons->addButton(tr("Save &As…"), QDialogButtonBox::ActionRole);
        save_->setObjectName(QStringLiteral("cmdSaveAs"));
        connect(save_, &QPushButton::clicked, this, [this, data = bytes->data, saveFileName] {
            const QString path = saveFileName ? saveFileName(this, QString()) : QString();
            if (path.isEmpty()) return;
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(data.data(), static_cast<qint64>(data.size())) != static_cast<qint64>(data.size()) ||
                !file.flush()) {
                QMessageBox::warning(this, QString::fromUtf8(app::kAppTitle),
                                     tr("The value could not be saved to %1: %2").arg(path, file.errorString()));
            }
        });
    } else {
        text_ = new QPlainTextEdit(this);
        text_->setObjectName(QStringLiteral("txtValue"));
        text_->setReadOnly(true);
        text_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        text_->setAccessibleName(tr("Value"));
        const auto* text = std::get_if<std::string>(&value);
        text_->setPlainText(text ? Whole(*text)
                                 : std::holds_alternative<records::Null>(value)
                                       ? tr("(Null)")
                                       : QString::fromStdString(records::Escaped(records::DisplayText(value), false)));
        text_->moveCursor(QTextCursor::Start);
        layout->addWidget(text_, 1);
    }
    layout->addWidget(buttons);
    resize(640, 420);
}

}  // namespace gui
