; Samples the status register as fast as it can, one byte per 47 cycles,
; into 4000h-AFFFh, with interrupts off; then halts.
; (Z80 mnemonics, 8080 instructions only.)
STATUS  equ 3B38h

        org 0
        di
        ld hl, 4000h
sample: ld a, (STATUS)  ; 13
        ld (hl), a      ; 7
        inc hl          ; 5
        ld a, h         ; 5
        cp 0B0h         ; 7
        jp nz, sample   ; 10
done:   halt
        jp done
