#pragma once
// The program version: build constants shared with the version resource.

#define TARNEL_STRINGIFY2(x) #x
#define TARNEL_STRINGIFY(x) TARNEL_STRINGIFY2(x)
#define TARNEL_VERSION_TEXT                                                                              \
    TARNEL_STRINGIFY(TARNEL_VERSION_MAJOR) "." TARNEL_STRINGIFY(TARNEL_VERSION_MINOR) "." TARNEL_STRINGIFY( \
        TARNEL_VERSION_PATCH) "." TARNEL_STRINGIFY(TARNEL_VERSION_BUILD)
