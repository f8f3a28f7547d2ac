#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/catalogue.h"

namespace Remove {
class Log;
}

// What a silent run needs besides the command line and the components.
struct SilentRunContext {
    // The sink the components were built on; a silent run writes nowhere, so a plain Log.
    Remove::Log* log;
    // Caption of the message boxes: the application's name.
    std::u16string caption;
    // Deletes the suite's root folders and keys; run when nothing is installed any more.
    std::function<void(Remove::Log*)> removeRootTraces;
};

// One complete removal without a window, as "/silent" asks: select from the switches while
// detecting every component, refuse a client removal that would strand its dependents (unless
// "/force"), add the client's companions, remove in the removal order detecting each again, and
// clean up the roots when nothing is left. Shows the help text when nothing was selected. An
// exception escaping one component's detect() or remove() is dropped and the run goes on.
void RunSilent(std::u16string_view commandLine, const ProductSet& products,
               const SilentRunContext& context);

// A switch is present when its exact text occurs anywhere in the command line (case-sensitive).
bool HasSwitch(std::u16string_view commandLine, std::u16string_view switchText);

// The refusal of a client removal, naming every installed dependent.
std::u16string ClientRefusalMessage(const ProductSet& products);

// The help text shown when a silent run selected nothing.
std::u16string SilentHelpText();
