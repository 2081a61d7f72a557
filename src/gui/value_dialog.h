// Show Value: one value of a record whole, in a window of its own. Long text
// (a memo of a megabyte) scrolls in a read-only text field that keyboards
// and screen readers reach like any other; a binary value (an OLE photo)
// shows its size and can be saved to a file.
#pragma once

#include <QDialog>
#include <functional>

#include "records/record.h"

class QPlainTextEdit;
class QPushButton;

namespace gui {

class ValueDialog : public QDialog {
    Q_OBJECT

public:
    // `name`: the record and column, for the title ("Notes of ID 17");
    // `saveFileName` asks where to save a binary value (empty: not saved).
    ValueDialog(const records::Cell& value, const QString& name,
                std::function<QString(QWidget*, const QString&)> saveFileName, QWidget* parent);

    // The text shown (text values), and the Save As button (binary ones).
    QPlainTextEdit* Text() const { return text_; }
    QPushButton* SaveButton() const { return save_; }

private:
    QPlainTextEdit* text_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace gui
