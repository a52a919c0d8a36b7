#pragma once
// While a collection or a merge runs, the window repaints its status line but takes no
// input: keys, clicks and close requests that arrive meanwhile are dropped, not queued, so a
// second Enter or click cannot start a second run that would store every row again.

#include <QObject>

class QWidget;

class InputBlock : public QObject {
public:
    InputBlock();
    ~InputBlock() override;
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

    // True while some run holds a block.
    static bool active();
    // Paints the changed widget now and lets the window system breathe; input is still dropped.
    static void refresh(QWidget* changed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
