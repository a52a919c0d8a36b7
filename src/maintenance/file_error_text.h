#pragma once
// What a failed file operation means, in Chinese, for the user's message.

#include <QFileDevice>
#include <QString>

QString fileErrorText(QFileDevice::FileError error);
