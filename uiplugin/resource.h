// Resource ids of Velumor.
#pragma once

#define IDS_CUSTOM_SIZE 5016
