#pragma once
// Small helpers the maintenance window tests share.

#include <QByteArray>
#include <QString>
#include <QTest>
#include <QWidget>

namespace MaintenanceTest {

// Types text into a box the way a keyboard and an input method would: ASCII as key clicks,
// anything else as committed characters.
inline void typeText(QWidget* box, const QString& text)
{
    for (QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClicks(box, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no widget named %s", name);
    return found;
}

inline void click(QWidget* window, const char* buttonName)
{
    QTest::mouseClick(child<QWidget>(window, buttonName), Qt::LeftButton);
}

// An exercise file whose header bytes outside the magic and the length field are all
// distinct, so that a test sees whether they survive a replacement.
inline QByteArray exerciseFile(const QByteArray& text)
{
    QByteArray header(32, '\0');
    header[0] = 0x07;
    header[1] = 0x58;
    header[2] = 0x10;
    header[3] = 0x16;
    for (int i = 4; i < 32; ++i)
        header[i] = char(0xA0 + i);
    header[16] = char(text.size() & 0xff);
    header[17] = char(text.size() >> 8);
    return header + text;
}

} // namespace MaintenanceTest
