#include "runtime/locator_state.h"

#include "runtime/code_index.h"
#include "runtime/shared_image_search.h"

namespace runtime {

LocatorState Locators;

void ResetLocatorState() {
    std::scoped_lock lock(Locators.SignaturePassMutex, Locators.SecondaryBlockMutex, Locators.ValueBlockMutex);
    for (CachedSearch* search : {&Locators.TimecycleBlock, &Locators.SecondaryBlock, &Locators.PuddleStoreSite,
                                 &Locators.VfxLightningBlock, &Locators.WatertuneBlock})
        ForgetSearch(*search);
    for (CachedSearch& search : Locators.SignatureCache) ForgetSearch(search);
    for (SharedImageSearch* search : Locators.SharedSearches) ForgetSearch(search->result);
    Locators.SecondaryBlockSearches = 0;
    Locators.SignaturePasses = 0;
    Locators.ImagePasses = 0;
    Locators.LastPassBytes = 0;
    Locators.LastPassLightningHits = 0;
    Locators.LastPassWatertuneHits = 0;
    Locators.TimecycleSiteA = 0;
    Locators.TimecycleSiteB = 0;
    ResetCodeIndex();
}

}  // namespace runtime
