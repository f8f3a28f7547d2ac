#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

class QTVProduct;

// The fourteen components, numbered in the fixed removal order (WebUI is removed first).
enum class ProductId {
    WebUI,
    A2A,
    PlatformAPI,
    Console,
    SoftwareAssetManagement,
    ClientDeployTool,
    Relay,
    Server,
    DLP,
    ClientLoggingService,
    Client,
    SupportingDatabases,
    InstallationGenerator,
    MSDE,
};

inline constexpr std::size_t kProductCount = 14;

struct CatalogueEntry {
    ProductId id;
    int rank;                       // 1 is removed first
    std::string_view className;
    std::u16string_view defaultName; // what name() gives until detection finds a display name
    bool nameFoundAtDetection;
    std::u16string_view silentSwitch;
    std::u16string_view helpLabel;  // the label in the silent help text
    bool dependsOnClient;
};

using ProductOrder = std::array<ProductId, kProductCount>;

// The entry of one component.
const CatalogueEntry& Catalogue(ProductId id);

// Removal order: every dependent and both companions of the client come before the client; the
// supporting databases, the installation generator and the desktop SQL engine come last.
extern const ProductOrder kRemovalOrder;
// The removal order with the server before the relay.
extern const ProductOrder kSilentDetectionOrder;
// The dialog's product list, its detection order and the order of its rows before sorting.
extern const ProductOrder kWindowOrder;
// The components that need the client, in the order every dependency message names them.
extern const std::array<ProductId, 5> kClientDependents;

// Choosing a component also chooses its companion. Applied in this order, so choosing the
// client brings the logging service and with it DLP.
struct Companion {
    ProductId chosen;
    ProductId companion;
};
extern const std::array<Companion, 2> kCompanions;

// One component object per catalogue entry, not owned. A slot stays empty only for a component
// whose recipe this build does not contain.
class ProductSet {
public:
    QTVProduct* operator[](ProductId id) const { return slots_[static_cast<std::size_t>(id)]; }
    QTVProduct*& operator[](ProductId id) { return slots_[static_cast<std::size_t>(id)]; }

private:
    std::array<QTVProduct*, kProductCount> slots_{};
};
