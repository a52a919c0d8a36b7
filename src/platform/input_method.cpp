#include "platform/input_method.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

namespace InputMethod {
namespace {

std::optional<bool>& fixedAnswer()
{
    static std::optional<bool> answer;
    return answer;
}

// The input-context plugin each module name loads.
QString pluginFor(const QString& module)
{
    if (module == QLatin1String("fcitx") || module == QLatin1String("fcitx5"))
        return QStringLiteral("libfcitx5platforminputcontextplugin.so");
    if (module == QLatin1String("ibus"))
        return QStringLiteral("libibusplatforminputcontextplugin.so");
    return QString();
}

} // namespace

bool chineseInputAvailable()
{
    if (fixedAnswer())
        return *fixedAnswer();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    const QString plugin = pluginFor(qEnvironmentVariable("QT_IM_MODULE").trimmed().toLower());
    if (plugin.isEmpty())
        return false;
    for (const QString& folder : QCoreApplication::libraryPaths())
        if (QFileInfo::exists(folder + QStringLiteral("/platforminputcontexts/") + plugin))
            return true;
    return false;
}

void setAvailableForTests(std::optional<bool> available)
{
    fixedAnswer() = available;
}

} // namespace InputMethod
