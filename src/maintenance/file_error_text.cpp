#include "maintenance/file_error_text.h"

QString fileErrorText(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::NoError:
        return QStringLiteral("未知错误");
    case QFileDevice::ReadError:
        return QStringLiteral("读文件出错");
    case QFileDevice::WriteError:
        return QStringLiteral("写文件出错");
    case QFileDevice::OpenError:
        return QStringLiteral("无法打开文件");
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有访问权限");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘已满或资源不足");
    case QFileDevice::RenameError:
        return QStringLiteral("无法用新文件替换原文件");
    case QFileDevice::RemoveError:
        return QStringLiteral("无法删除文件");
    case QFileDevice::CopyError:
        return QStringLiteral("无法复制文件");
    case QFileDevice::PositionError:
        return QStringLiteral("无法定位文件");
    case QFileDevice::ResizeError:
        return QStringLiteral("无法改变文件大小");
    case QFileDevice::AbortError:
        return QStringLiteral("操作被中止");
    case QFileDevice::TimeOutError:
        return QStringLiteral("操作超时");
    case QFileDevice::UnspecifiedError:
    case QFileDevice::FatalError:
        break;
    }
    return QStringLiteral("文件操作失败");
}
