#include "core/silent_driver.h"

#include <algorithm>
#include <vector>

#include "core/log.h"
#include "core/product.h"
#include "platform/os_api.h"

namespace {

// A silent run has nobody to tell: a component that throws is passed by, and the run goes on.
template <class Step>
void Survive(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

bool IsInstalled(const QTVProduct* product)
{
    return product != nullptr && product->isInstalled();
}

} // namespace

bool HasSwitch(std::u16string_view commandLine, std::u16string_view switchText)
{
    return commandLine.find(switchText) != std::u16string_view::npos;
}

std::u16string ClientRefusalMessage(const ProductSet& products)
{
    std::u16string message =
        u"The client should not be removed without also removing the components that depend "
        u"on it. To also remove the dependent components, use the option '/client' with the "
        u"options: ";
    for (const ProductId dependent : kClientDependents) {
        if (IsInstalled(products[dependent])) {
            message += u" '";
            message += Catalogue(dependent).silentSwitch;
            message += u"'";
        }
    }
    message += u". To forcefully remove only the client, add the option '/force'.";
    return message;
}

std::u16string SilentHelpText()
{
    std::vector<const CatalogueEntry*> entries;
    for (const ProductId id : kRemovalOrder)
        entries.push_back(&Catalogue(id));
    std::sort(entries.begin(), entries.end(), [](const CatalogueEntry* a, const CatalogueEntry* b) {
        return a->silentSwitch < b->silentSwitch;
    });
    std::u16string text =
        u"To silently remove all components, use /silent /all.\n"
        u"To silently remove a set of components, use /silent and a combination of the "
        u"following options:";
    for (const CatalogueEntry* entry : entries) {
        text += u"\n    ";
        text += entry->silentSwitch;
        text += u" - ";
        text += entry->helpLabel;
    }
    return text;
}

void RunSilent(std::u16string_view commandLine, const ProductSet& products,
               const SilentRunContext& context)
{
    const bool allSwitch = HasSwitch(commandLine, u"/all");
    const bool forceSwitch = HasSwitch(commandLine, u"/force");
    bool anySelected = false;
    SelectionSet selection;

    for (const ProductId id : kSilentDetectionOrder) {
        QTVProduct* product = products[id];
        if (allSwitch || HasSwitch(commandLine, Catalogue(id).silentSwitch)) {
            anySelected = true;
            if (product)
                selection.insert(product);
        }
        if (product)
            Survive([product] { product->detect(); });
    }

    QTVProduct* client = products[ProductId::Client];
    if (!forceSwitch && client && selection.count(client)) {
        const bool stranded =
            std::any_of(kClientDependents.begin(), kClientDependents.end(), [&](ProductId id) {
                return IsInstalled(products[id]) && !selection.count(products[id]);
            });
        if (stranded) {
            Os().messageBox(nullptr, ClientRefusalMessage(products).c_str(),
                            context.caption.c_str(), MB_ICONERROR | MB_OK);
            return;
        }
    }

    for (const Companion& pair : kCompanions) {
        QTVProduct* chosen = products[pair.chosen];
        if (chosen && selection.count(chosen) && products[pair.companion])
            selection.insert(products[pair.companion]);
    }

    bool anyLeft = false;
    for (const ProductId id : kRemovalOrder) {
        QTVProduct* product = products[id];
        if (!product)
            continue;
        if (product->isInstalled() && selection.count(product))
            Survive([product] { product->remove(); });
        Survive([product] { product->detect(); });
        if (product->isInstalled())
            anyLeft = true;
    }

    if (!anyLeft && context.removeRootTraces)
        context.removeRootTraces(context.log);

    if (!anySelected)
        Os().messageBox(nullptr, SilentHelpText().c_str(), context.caption.c_str(), MB_OK);
}
