// The configuration store's exported interface.
#pragma once

#include "tarn/boot.h"
#include "tarn/boot_state.h"
#include "tarn/cleanup.h"
#include "tarn/config_validation.h"
#include "tarn/crate_files.h"
#include "tarn/db_connection.h"
#include "tarn/error_codes.h"
#include "tarn/events.h"
#include "tarn/exceptions.h"
#include "tarn/image.h"
#include "tarn/json_doc.h"
#include "tarn/schema_processing.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"
#include "tarn/utilities.h"
