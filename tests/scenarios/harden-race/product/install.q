[race]
