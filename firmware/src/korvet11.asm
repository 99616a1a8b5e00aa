; "Корвет 1.1"+BAS: 24,576 bytes. The core in 0000h-1FFFh, room for BASIC
; in 2000h-5FFFh.
ROMSET  EQU 1
HASBAS  EQU 1
        INCLUDE core.asm
        INCLUDE basic.asm
        DS 6000h-$, 0FFh
        END
