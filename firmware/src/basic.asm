; The room for a BASIC interpreter: 2000h-5FFFh of the 24 KB images.
; Configuration 0 shows only 0000h-37FFh of the ROM; BASIC will run in
; configuration 16 (ROM 0000h-5FFFh, devices at F800h-FFFFh). Until it
; exists the area holds this mark and is otherwise filled with FFh; the
; firmware offers the monitor instead.
        DS 2000h-$, 0FFh
BASIC:  DB 'VELGARD BASIC AREA',0
        DB 0                    ; 0: no interpreter present
