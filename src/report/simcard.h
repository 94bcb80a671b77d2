#pragma once
// One SIM card slot as a device reports it.

struct SimCard
{
    bool present = false; // the flag the SIM status reads
};
