#pragma once

class TParameterSet;

// Reads the Windows NT layout into the model: the dial-out NdisWan adapters
// are the profiles; Tcpip\Parameters holds the global values as integers.
class TNTParameterReader {
public:
    explicit TNTParameterReader(TParameterSet& model) : FModel(model) {}
    // The number of profiles found, or -1 when the user ends the reading.
    int Read();

private:
    TParameterSet& FModel;
};
