; Display and timer interrupts through the interrupt controller.
; Counts the display (line 4) and timer channel 2 (line 5) interrupts, and
; at every display interrupt latches timer channel 1, which runs freely, so
; that the test can measure the length of a frame in timer counts.
; (Z80 mnemonics, 8080 instructions only.)
IO      equ 3B00h
TCNT1   equ IO+01h
TCNT2   equ IO+02h
TCTL    equ IO+03h
PIC0    equ IO+28h
PIC1    equ IO+29h
STATUS  equ IO+38h

FRAMES  equ 4000h       ; word: display interrupts taken
TICKS   equ 4002h       ; word: timer interrupts taken
NSAMP   equ 4004h       ; word: samples stored
SAMPLES equ 4010h       ; 4 bytes each: channel 1 count (LSB, MSB), status, 0

        org 0
        di
        ld sp, 0B000h
        jp start

        org 20h         ; line 4 with ICW2 = 0 and an interval of 8
        jp frame
        org 28h         ; line 5
        jp tick

        org 100h
start:  ld a, 12h       ; ICW1: single controller, interval 8
        ld (PIC0), a
        xor a           ; ICW2: calls at 0000h + 8 * line
        ld (PIC1), a
        ld a, 0CFh      ; OCW1: only lines 4 and 5
        ld (PIC1), a
        ld a, 74h       ; channel 1: mode 2, LSB then MSB
        ld (TCTL), a
        ld a, 60h       ; count EA60h = 60000
        ld (TCNT1), a
        ld a, 0EAh
        ld (TCNT1), a
        ld a, 0B6h      ; channel 2: mode 3 (square wave), LSB then MSB
        ld (TCTL), a
        ld a, 10h       ; count 2710h = 10000: 5 ms at 2 MHz
        ld (TCNT2), a
        ld a, 27h
        ld (TCNT2), a
        ld hl, 0
        ld (FRAMES), hl
        ld (TICKS), hl
        ld (NSAMP), hl
        ei
idle:   halt
        jp idle

frame:  push af
        push hl
        push de
        ld a, 40h       ; latch channel 1
        ld (TCTL), a
        ld hl, (NSAMP)
        add hl, hl
        add hl, hl
        ld de, SAMPLES
        add hl, de
        ld a, (TCNT1)
        ld (hl), a
        inc hl
        ld a, (TCNT1)
        ld (hl), a
        inc hl
        ld a, (STATUS)
        ld (hl), a
        ld hl, (NSAMP)
        inc hl
        ld (NSAMP), hl
        ld hl, (FRAMES)
        inc hl
        ld (FRAMES), hl
        ld a, 20h       ; non-specific EOI
        ld (PIC0), a
        pop de
        pop hl
        pop af
        ei
        ret

tick:   push af
        push hl
        ld hl, (TICKS)
        inc hl
        ld (TICKS), hl
        ld a, 20h
        ld (PIC0), a
        pop hl
        pop af
        ei
        ret
