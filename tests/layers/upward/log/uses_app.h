#pragma once
#include "app/entry.h"
