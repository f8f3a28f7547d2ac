#include "core/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using P = ProductId;

std::size_t Position(const ProductOrder& order, ProductId id)
{
    return static_cast<std::size_t>(std::find(order.begin(), order.end(), id) - order.begin());
}

TEST(CatalogueTest, EveryOrderNamesEachComponentOnce)
{
    for (const ProductOrder* order : {&kRemovalOrder, &kSilentDetectionOrder, &kWindowOrder}) {
        const std::set<ProductId> distinct(order->begin(), order->end());
        EXPECT_EQ(distinct.size(), kProductCount);
    }
}

TEST(CatalogueTest, RanksFollowTheRemovalOrder)
{
    for (std::size_t i = 0; i < kProductCount; ++i) {
        EXPECT_EQ(Catalogue(kRemovalOrder[i]).rank, static_cast<int>(i + 1));
        EXPECT_EQ(Catalogue(kRemovalOrder[i]).id, kRemovalOrder[i]);
    }
}

TEST(CatalogueTest, DependentsAndCompanionsAreRemovedBeforeTheClient)
{
    const std::size_t client = Position(kRemovalOrder, P::Client);
    for (const ProductId dependent : kClientDependents) {
        EXPECT_TRUE(Catalogue(dependent).dependsOnClient);
        EXPECT_LT(Position(kRemovalOrder, dependent), client);
    }
    for (const Companion& pair : kCompanions)
        EXPECT_LT(Position(kRemovalOrder, pair.companion), Position(kRemovalOrder, pair.chosen));
    const auto dependents = std::count_if(kRemovalOrder.begin(), kRemovalOrder.end(),
                                          [](ProductId id) { return Catalogue(id).dependsOnClient; });
    EXPECT_EQ(dependents, 5);
}

TEST(CatalogueTest, SilentDetectionIsTheRemovalOrderWithServerBeforeRelay)
{
    ProductOrder expected = kRemovalOrder;
    std::iter_swap(expected.begin() + Position(expected, P::Relay),
                   expected.begin() + Position(expected, P::Server));
    EXPECT_EQ(kSilentDetectionOrder, expected);
    EXPECT_LT(Position(kSilentDetectionOrder, P::Server), Position(kSilentDetectionOrder, P::Relay));
}

TEST(CatalogueTest, DefaultNameAndHelpLabelDifferForThreeComponents)
{
    std::set<ProductId> differing;
    for (const ProductId id : kRemovalOrder)
        if (Catalogue(id).defaultName != Catalogue(id).helpLabel)
            differing.insert(id);
    EXPECT_EQ(differing, (std::set<ProductId>{P::A2A, P::InstallationGenerator, P::MSDE}));
}

TEST(CatalogueTest, SwitchesAreDistinctAndNoneContainsAnother)
{
    // Switches match as substrings, so one switch inside another would select both.
    for (const ProductId a : kRemovalOrder) {
        for (const ProductId b : kRemovalOrder) {
            if (a != b) {
                EXPECT_EQ(Catalogue(a).silentSwitch.find(Catalogue(b).silentSwitch),
                          std::u16string_view::npos);
            }
        }
    }
}

} // namespace
