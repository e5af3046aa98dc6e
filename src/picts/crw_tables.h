// Constants of the Canon CRW format (see crw_tables.cpp for their origin).
#pragma once

extern const unsigned char kCanonFirstTree[3][29];
extern const unsigned char kCanonSecondTree[3][180];
