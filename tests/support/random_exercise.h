#pragma once
// A random exercise typed on the real Exercise screen as a student might: keys of the text's
// own characters and sometimes wrong ones, input-method text for Chinese, editing and arrow
// keys, and countdown ticks, ended by Esc or by the countdown. The same seed types the same
// exercise; the store's tests and the school server's verifier tests use the same 24 seeds.

#include "exercise/exercise_screen.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QPointer>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <iterator>

namespace RandomExercise {

inline const QString kEnglish =
    QStringLiteral("The quick brown fox jumps over the lazy dog.\n"
                   "Pack my box with five dozen liquor jugs; how vexingly quick daft zebras jump!\n"
                   "Sphinx of black quartz, judge my vow.\n");
inline const QString kChinese =
    QStringLiteral("中文打字练习，每天一段。\n天地玄黄，宇宙洪荒。\n日月盈昃，辰宿列张。\n");

// The kind each seed types: odd seeds English, even ones Chinese.
inline ExerciseKind kindOf(int seed)
{
    return seed % 2 ? ExerciseKind::English : ExerciseKind::Chinese;
}

inline const QString& textOf(ExerciseKind kind)
{
    return kind == ExerciseKind::English ? kEnglish : kChinese;
}

// Types the seed's exercise on an open screen showing textOf(kind) until it ends; tick moves the
// clock a second on and ticks the countdown. False when the screen went away before the end.
inline bool type(QPointer<ExerciseScreen>& screen, int seed, ExerciseKind kind,
                 const std::function<void(ExerciseScreen*)>& tick)
{
    QRandomGenerator random{quint32(seed)};
    const QString& text = textOf(kind);
    const int keys[] = {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Left,  Qt::Key_Right,
                        Qt::Key_Up,        Qt::Key_Down,   Qt::Key_Delete};
    const bool toTheEnd = seed % 3 == 0;
    int ticks = 0;
    for (int step = 0; screen && step < 400; ++step) {
        const int dice = random.bounded(100);
        if (dice < 55) {
            // Mostly the text's own characters, sometimes a wrong one.
            QChar ch = text.at(random.bounded(text.size()));
            if (ch == u'\n' || random.bounded(6) == 0)
                ch = kind == ExerciseKind::English ? QChar(u'a' + random.bounded(26)) : QChar(u'错');
            if (ch.unicode() < 0x80) {
                QTest::keyClick(screen, ch.toLatin1());
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(QString(ch));
                QApplication::sendEvent(screen, &commit);
            }
        } else if (dice < 80) {
            QTest::keyClick(screen, Qt::Key(keys[random.bounded(int(std::size(keys)))]));
        } else if (screen->engine()->typingStarted() && ticks < 600) {
            tick(screen);
            ++ticks;
        }
    }
    if (!screen)
        return false;
    if (!screen->engine()->typingStarted())
        QTest::keyClick(screen, Qt::Key_A);
    if (toTheEnd) {
        while (screen && ticks++ <= 600)
            tick(screen);
    } else {
        QTest::keyClick(screen, Qt::Key_Escape);
    }
    return true;
}

} // namespace RandomExercise
