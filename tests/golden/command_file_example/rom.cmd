/* two EPROMs */
in.out
-a
ROMS { PAGE 0: EPROM1: org = 0x8000, len = 0x4000, romwidth = 8, files = { lo.hex, hi.hex } }
SECTIONS { .text: paddr = 0x8000  .data: paddr = (0x8010) }
