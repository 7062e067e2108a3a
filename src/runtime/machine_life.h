// machine_life: making and destroying a whole machine.
//
// vexel_machine_create makes every part of a machine — memory, screen and
// display, the cartridge records and code tabs, the sound channels, the
// runner and its script machine — with the draw state a program starts
// with, and binds it to `host` (which must outlive it; null runs it with
// the defaults of machine/host.h). vexel_machine_destroy closes the script
// machine (its finalizers run, under the runner's ceiling) and frees every
// part. A machine's sound is heard only when the shell attaches its audio
// record to the device; the shell detaches it before destroying it.
#pragma once

struct vexel_host;
struct vexel_machine;

vexel_machine* vexel_machine_create(const vexel_host* host);
void vexel_machine_destroy(vexel_machine* m);
