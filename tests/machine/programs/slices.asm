; A steady stream of 7- and 10-cycle instructions with interrupts off: the
; test replays the slice rule on the same stream and compares cycle totals.
; (Z80 mnemonics, 8080 instructions only.)
        org 0
        di              ; 4
loop:   ld a, 0         ; 7
        jp loop         ; 10
