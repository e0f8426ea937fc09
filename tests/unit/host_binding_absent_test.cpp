// A program without the host's functions: binding must fail and leave the
// plug-in unable to run, without touching a null function.
#include <gtest/gtest.h>

#include "host/host_functions.h"
#include "plugin/giftiplugin.h"

TEST(HostBinding, FailsWithoutTheHostVersionFunction) {
    EXPECT_FALSE(meshbridge::loadHostFunctions());
    EXPECT_EQ(meshbridge::hostFunctions().ztLogText, nullptr);
    giftiplugin plugin;
    EXPECT_FALSE(plugin.initPlugin());
    EXPECT_FALSE(plugin.execute());
}
