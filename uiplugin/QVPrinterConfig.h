// The plug-in's configuration file; its reading and writing come with the controller.
#pragma once

class QVPrinterConfig {
public:
    virtual ~QVPrinterConfig() = default;
};
