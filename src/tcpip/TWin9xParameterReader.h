#pragma once

class TParameterSet;

// Reads the Windows 95/98 layout into the model: the TCP/IP bindings under
// Class\NetTrans are the profiles; MSTCP and the NWLink cache size hold the
// global values.
class TWin9xParameterReader {
public:
    explicit TWin9xParameterReader(TParameterSet& model) : FModel(model) {}
    // The number of profiles found, or -1 when the user ends the reading.
    int Read();

private:
    TParameterSet& FModel;
};
