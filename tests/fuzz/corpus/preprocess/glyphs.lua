btn(ã) btn(ë) btn(î) btn(É) btn(é) btn(ó) btn(è)
s = "ã != +="
