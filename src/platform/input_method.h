#pragma once
// Whether this program can receive Chinese from an input method. Qt 6 on X11 reaches fcitx5 or
// ibus only through their Qt 6 input-context plugins, chosen by QT_IM_MODULE; without them Qt
// falls back to its compose context, which delivers no Chinese at all.

#include <optional>

namespace InputMethod {

// True when Qt loads fcitx5's or ibus's input context (QT_IM_MODULE names it and its plugin is
// installed), or on Wayland, where the compositor brings the input method.
bool chineseInputAvailable();

// Test seam: a fixed answer, or nullopt for the real look-up.
void setAvailableForTests(std::optional<bool> available);

} // namespace InputMethod
