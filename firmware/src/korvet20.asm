; "Корвет 2.0"+BAS: 24,578 bytes. The core in 0000h-1FFFh, room for BASIC
; in 2000h-5FFFh, and two more bytes that LoadROM copies to RAM 6000h-6001h.
ROMSET  EQU 0
HASBAS  EQU 1
        INCLUDE core.asm
        INCLUDE basic.asm
        DS 6002h-$, 0FFh
        END
