#pragma once
// The help window frmbz: the help text in one read-only box without a context menu.

#include <QDialog>

class QPlainTextEdit;

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit HelpViewer(const QString& appFolder, QWidget* parent = nullptr);
    ~HelpViewer() override;

    QPlainTextEdit* textBox() const { return text1_; } // Text1

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void releaseTextBox();

    QPlainTextEdit* text1_ = nullptr;
};

// The menu item's work: the window, modal, made afresh at each opening.
void openHelpViewer(QWidget* parent, const QString& appFolder);
